#include "app/status_progress.h"

#include <QRegularExpression>
#include <algorithm>

namespace tarvex {

void StatusProgress::Restart() {
  *this = StatusProgress();
}

void StatusProgress::OnStatusText(const QString& text) {
  static const QRegularExpression kStep(QStringLiteral("\\(Step (\\d+)/(\\d+)\\)"));
  const QRegularExpressionMatch match = kStep.match(text);
  if (!match.hasMatch()) return;
  const int step = match.captured(1).toInt();
  const int steps = match.captured(2).toInt();
  if (steps <= 0 || step <= 0 || step > steps) return;
  if (step != step_ || steps != steps_) {
    // The table progress reported so far belonged to the previous step.
    lowest_ = highest_ = position_ = 0;
  }
  step_ = step;
  steps_ = steps;
  Update();
}

void StatusProgress::OnRange(int lowest, int highest) {
  lowest_ = lowest;
  highest_ = highest;
  position_ = lowest;
  Update();
}

void StatusProgress::OnPosition(int position) {
  position_ = position;
  Update();
}

void StatusProgress::Update() {
  double fraction = 0;
  if (highest_ > lowest_) {
    fraction =
        std::clamp(static_cast<double>(position_ - lowest_) / (highest_ - lowest_), 0.0, 1.0);
  }
  double whole = fraction;
  if (steps_ > 0) whole = (step_ - 1 + fraction) / steps_;
  shown_ = std::max(shown_, static_cast<int>(whole * kScale));
}

}  // namespace tarvex
