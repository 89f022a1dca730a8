// The short busy sweep played on a progress bar while no real progress is known.
#pragma once

class QProgressBar;

namespace tobrin::shell {

// Moves the bar from 0 to `steps`, repainting and pausing `pause_ms` after
// each step, and leaves it at 0. Blocks the calling (UI) thread meanwhile.
void StepProgressBar(QProgressBar& bar, int steps, int pause_ms);

}  // namespace tobrin::shell
