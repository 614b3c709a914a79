#pragma once

// State shared by all windows of the tester.
namespace Globals {
// True once the weight stream analysis has passed. Cleared when the tester
// window loads and before the analysis opens; set only by the analysis
// window's pass action; read by the compliance report.
extern bool WeightStreamOK;
} // namespace Globals
