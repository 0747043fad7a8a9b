#pragma once

// The status bar's progress of one piece of long work. The core reports its steps in the
// status text ("(Step 3/7) ...") and the progress of each table it reads with a range of its
// own; the bar shows the whole work, so that it never goes back when the next table starts.

#include <QString>

namespace tarvex {

class StatusProgress {
 public:
  static constexpr int kScale = 1000;

  // A new piece of work starts at nothing.
  void Restart();
  void OnStatusText(const QString& text);
  void OnRange(int lowest, int highest);
  void OnPosition(int position);
  // The work is done, whatever step it reported last.
  void Finish() { shown_ = kScale; }

  // Between 0 and kScale; never less than it was since the last Restart.
  int value() const { return shown_; }

 private:
  void Update();

  int step_ = 0;  // 1-based; 0 while the work names no step
  int steps_ = 0;
  int lowest_ = 0;
  int highest_ = 0;
  int position_ = 0;
  int shown_ = 0;
};

}  // namespace tarvex
