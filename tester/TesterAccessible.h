#pragma once

// Teaches screen readers what Qt cannot tell them by itself about the tester:
// that its window is the application's main window (a frame), and that a
// drop-down list with an accessible name is called by that name. Call once
// before the first window is built; further calls do nothing.
void installTesterAccessibility();
