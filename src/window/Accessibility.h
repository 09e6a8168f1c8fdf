#pragma once

#include <QString>

class QWidget;

// What screen readers see of the program's own widgets: QAccessible gives a
// plain QWidget no role and no name, so labels, term labels, frames, the
// picture box and the explanation frame get theirs here.
namespace Accessibility
{

// Installs the interfaces for the program's own widget classes. Call once,
// before any of them is asked for.
void install();

// The role a widget of one of those classes reports, when it is not the
// class's own: the result message is an alert, so that it is read out when
// it appears.
void setAlert(QWidget* widget);

// The name and description of one of those widgets. Unlike the QWidget
// setters these send no change event, so the caller sends exactly one.
// Returns whether the text changed.
bool setName(QWidget* widget, const QString& name);
bool setDescription(QWidget* widget, const QString& description);
// Whether `widget` is of a class these interfaces serve.
bool isProgramWidget(const QWidget* widget);

} // namespace Accessibility
