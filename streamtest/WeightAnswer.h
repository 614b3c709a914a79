#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// One SMA weight answer of 20 characters:
//   LF, scale status, range, gross/net, motion, reserved,
//   weight (10 characters), unit (3 characters), CR.
struct WeightAnswer
{
    static constexpr qsizetype kLength = 20;
    static constexpr qsizetype kWeightOffset = 6; // 0-based: characters 7 to 16
    static constexpr qsizetype kWeightLength = 10;
    static constexpr qsizetype kUnitOffset = 16; // 0-based: characters 17 to 19
    static constexpr qsizetype kUnitLength = 3;

    char scaleStatus = ' '; // 'Z' centre of zero, 'O' over capacity
    char grossNet = ' ';    // 'G'/'g' gross, 'N'/'n' net
    char motion = ' ';      // 'M' in motion
    QByteArray weightField; // the 10 weight characters, blanks included
    QByteArray unitField;   // the 3 unit characters ("kg ", "lb ", "l/o"), blanks included

    // Takes the status characters, the weight field and the unit of `frame`,
    // which must be exactly kLength characters long; nothing else of it is
    // examined.
    static WeightAnswer fromFrame(QByteArrayView frame);

    // The flags are compared exactly: "z", "o" and "m" are not flags.
    bool showsZero() const { return scaleStatus == 'Z'; }
    bool showsOverCapacity() const { return scaleStatus == 'O'; }
    bool showsMotion() const { return motion == 'M'; }
    bool showsGross() const { return grossNet == 'G' || grossNet == 'g'; }
    bool showsNet() const { return grossNet == 'N' || grossNet == 'n'; }

    // The weight field as the operator sees it, one character per byte.
    QString weightText() const { return QString::fromLatin1(weightField); }
    // The unit as the scale sent it, one character per byte.
    QString unitText() const { return QString::fromLatin1(unitField); }

    // True when the weight field holds no "---" and reads as the number 0,
    // in pounds and ounces as well ("    0:00.0").
    bool weightReadsZero() const;
};

// Reads a weight field strictly: optional blanks around one optional sign and
// either digits with at most one decimal point ("  -0.000", "12", ".5", "5.")
// or pounds and ounces as in the "l/o" unit ("    8:08.5", "-0:00", read as
// pounds: 8.53125). Anything else -- letters, two signs, a comma, a blank
// inside the number, a colon without digits on both sides, an empty field --
// is no number, so that a garbled field can never pass for zero.
std::optional<double> readWeightField(QByteArrayView field);
