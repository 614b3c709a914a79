#include "CheckRecord.h"

QString weightStreamText(CheckRecord::WeightStream stream)
{
    switch (stream) {
    case CheckRecord::WeightStream::Verified:
        return QStringLiteral("verified");
    case CheckRecord::WeightStream::Skipped:
        return QStringLiteral("skipped");
    case CheckRecord::WeightStream::NotVerified:
        break;
    }
    return QStringLiteral("not verified");
}
