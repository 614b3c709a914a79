#include "StatusChecklist.h"

StatusChecklist::StatusChecklist(bool withTareTest) : m_withTareTest(withTareTest) {}

QString StatusChecklist::itemText(Item item)
{
    switch (item) {
    case ZeroFlag:
        return QStringLiteral("Zero Flag");
    case MotionFlag:
        return QStringLiteral("Motion Flag");
    case OvercapFlag:
        return QStringLiteral("Overcap Flag");
    case GrossFlag:
        return QStringLiteral("Gross Flag");
    case NetFlag:
        return QStringLiteral("Net Flag");
    case TareOperation:
        return QStringLiteral("Tare Operation");
    }
    return {};
}

bool StatusChecklist::allTicked() const
{
    for (int item = 0; item < itemCount(); ++item) {
        if (!m_ticked.at(item))
            return false;
    }
    return true;
}

void StatusChecklist::record(const WeightAnswer &answer)
{
    if (answer.showsZero())
        m_ticked[ZeroFlag] = true;
    if (answer.showsMotion())
        m_ticked[MotionFlag] = true;
    if (answer.showsOverCapacity())
        m_ticked[OvercapFlag] = true;
    if (answer.showsGross())
        m_ticked[GrossFlag] = true;
    if (answer.showsNet())
        m_ticked[NetFlag] = true;
    if (m_withTareTest && !m_ticked[TareOperation] && m_ticked[NetFlag] && answer.weightReadsZero())
        m_ticked[TareOperation] = true;
}

QStringList StatusChecklist::itemTexts(bool ticked) const
{
    QStringList texts;
    for (int item = 0; item < itemCount(); ++item) {
        if (isTicked(Item(item)) == ticked)
            texts << itemText(Item(item));
    }
    return texts;
}
