// A label or picture that reports a click of the left mouse button.
#pragma once

#include <QLabel>

class TClickableLabel : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;

 signals:
  // The left button was released after a press on the label, wherever the
  // mouse is by then.
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};
