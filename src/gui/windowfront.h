// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

class QWidget;

// Bringing a window to the front on every desktop. On Wayland a program may take the focus only with an activation
// token (xdg-activation), which a notification service hands over with an action; Qt 6.4 sends it when it is in
// XDG_ACTIVATION_TOKEN while the window asks for the activation, so it is put there for that moment only.
namespace windowfront {

void raise(QWidget* window, const QString& activationToken = QString());
// How the window asks for the activation: QWidget::activateWindow(), unless a test has put its own.
std::function<void(QWidget*)>& activator();

} // namespace windowfront
