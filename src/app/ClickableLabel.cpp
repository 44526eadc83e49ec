#include "ClickableLabel.h"

#include <QMouseEvent>

void TClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit clicked();
  QLabel::mouseReleaseEvent(event);
}
