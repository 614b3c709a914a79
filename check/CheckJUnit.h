#pragma once

#include <QByteArray>

struct CheckRecord;

// The run as a JUnit XML report, as Jenkins and GitLab read it: one
// <testsuite> inside <testsuites>, one <testcase> per tested command (named
// by its printable form, class "sma.<port>") and one for the weight stream.
// A command that did not pass has a <failure> whose message is its verdict
// and evidence; a skipped weight stream is <skipped/>.
QByteArray checkJUnitXml(const CheckRecord &record);
