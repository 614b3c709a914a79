#pragma once

#include <QByteArray>

struct CheckRecord;

// The run as a JUnit XML report, as Jenkins and GitLab read it: one
// <testsuite> inside <testsuites>, named after the scale ("MFG MOD SN" from
// its About listing, the port when the listing names none), with the port,
// the line settings, MFG, MOD, SN, REV and the program's version as
// properties; one <testcase> of class "sma" per tested command (named by its
// printable form) and one for the weight stream.
// A command that did not pass has a <failure> whose message is its verdict
// and evidence, except an additional command the scale does not publish and
// refused with "?": that one is <skipped>, since the scale never offered it.
// A skipped weight stream is <skipped/>.
QByteArray checkJUnitXml(const CheckRecord &record);
