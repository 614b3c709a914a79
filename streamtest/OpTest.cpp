#include "OpTest.h"

// Placeholder until the weight stream analysis lands.
OpTest::OpTest(const MSCommFactory &, const QString &, const QString &, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("OpTest"));
}

OpTest::~OpTest() = default;

int OpTest::exec()
{
    return Rejected;
}
