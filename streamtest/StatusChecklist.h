#pragma once

#include "WeightAnswer.h"

#include <QString>
#include <QStringList>

#include <array>

// Which status flags the weight answers have shown so far, one box per flag,
// plus the tare test when the scale publishes the tare command. A box, once
// ticked, stays ticked.
class StatusChecklist
{
public:
    // The order is the order of the boxes on screen.
    enum Item { ZeroFlag, MotionFlag, OvercapFlag, GrossFlag, NetFlag, TareOperation };
    static constexpr int kFlagCount = 5;

    explicit StatusChecklist(bool withTareTest = false);

    // "Zero Flag", "Motion Flag", "Overcap Flag", "Gross Flag", "Net Flag",
    // "Tare Operation".
    static QString itemText(Item item);

    bool hasTareTest() const { return m_withTareTest; }
    // Five boxes, six with the tare test.
    int itemCount() const { return m_withTareTest ? kFlagCount + 1 : kFlagCount; }
    bool isTicked(Item item) const { return m_ticked.at(item); }
    bool allTicked() const;
    // The texts of the boxes ticked (or, with false, left unticked), in their order.
    QStringList itemTexts(bool ticked) const;

    // Ticks the boxes that `answer` shows. The tare test passes once a net
    // weight has been seen (in this or an earlier answer) and the weight
    // reads zero: the tare has taken the load off the displayed weight.
    void record(const WeightAnswer &answer);

private:
    bool m_withTareTest;
    std::array<bool, kFlagCount + 1> m_ticked{};
};
