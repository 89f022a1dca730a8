#include "progress_bar.h"

#include <QProgressBar>
#include <QThread>
#include <algorithm>

namespace tobrin::shell {

void StepProgressBar(QProgressBar& bar, int steps, int pause_ms) {
    bar.setValue(0);
    bar.setMaximum(steps);
    for (int step = 1; step <= steps; ++step) {
        bar.setValue(step);
        bar.repaint();
        QThread::msleep(static_cast<unsigned long>(std::max(pause_ms, 0)));
    }
    bar.setValue(0);
}

}  // namespace tobrin::shell
