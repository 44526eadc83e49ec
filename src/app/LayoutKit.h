// The small pieces the main window's builders share: named controls, the
// column and row layouts, design heights and right-anchored items.
#pragma once

#include <QBoxLayout>
#include <QColor>
#include <QGroupBox>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <algorithm>
#include <utility>

namespace layout {

// The client area of the window as designed (outer 701 x 684).
constexpr int kDesignWidth = 685;
constexpr int kDesignHeight = 646;

// Distance of a widget's right edge from its parent's right edge at the
// design width; widgets with an entry keep it when the window is resized.
inline const char* const kRightMargin = "pixvaneRightMargin";

template <typename T, typename... Args>
T* Make(const char* name, Args&&... args) {
  T* w = new T(std::forward<Args>(args)...);
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

inline QPushButton* MakeButton(const char* name, const QString& caption, QWidget* parent,
                               int w = 75, int h = 25) {
  auto* b = Make<QPushButton>(name, caption, parent);
  b->setFixedSize(w, h);
  return b;
}

inline QGroupBox* MakeFrame(const char* name, const QString& caption, QWidget* parent) {
  return Make<QGroupBox>(name, caption, parent);
}

inline QPlainTextEdit* MakeMemo(const char* name, QWidget* parent, bool horizontalBar) {
  auto* m = Make<QPlainTextEdit>(name, parent);
  m->setLineWrapMode(QPlainTextEdit::NoWrap);
  m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m->setHorizontalScrollBarPolicy(horizontalBar ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  return m;
}

inline QVBoxLayout* Column(QWidget* w, int margin = 4, int spacing = 4) {
  auto* l = new QVBoxLayout(w);
  l->setContentsMargins(margin, margin, margin, margin);
  l->setSpacing(spacing);
  return l;
}

inline QHBoxLayout* Row(QWidget* w, int margin = 4, int spacing = 4) {
  auto* l = new QHBoxLayout(w);
  l->setContentsMargins(margin, margin, margin, margin);
  l->setSpacing(spacing);
  return l;
}

inline void AnchorRight(QWidget* w, int x, int y, int width, int height, int parentDesignWidth) {
  w->setGeometry(x, y, width, height);
  w->setProperty(kRightMargin, parentDesignWidth - (x + width));
}

// A design height, raised where this platform's frame caption needs more room.
inline void FixHeight(QWidget* w, int designHeight) {
  w->setFixedHeight(std::max(designHeight, w->sizeHint().height()));
}

inline void Paint(QWidget* w, QPalette::ColorRole role, const QColor& color) {
  QPalette p = w->palette();
  p.setColor(role, color);
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

}  // namespace layout
