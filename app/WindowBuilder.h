// Builds the updater window: the window itself, its banner and controls, and
// the progress refresher that keeps the progress bar in step.
#pragma once

// x, y: the window's position; width, height: its client size. Returns 0.
int BuildUpdaterWindow(int x, int y, int width, int height);
