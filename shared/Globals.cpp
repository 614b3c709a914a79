#include "Globals.h"

namespace Globals {
bool WeightStreamOK = false;
}
