// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

class QDBusMessage;

// QtDBus calls these hooks with every method call that arrives on any of the
// process's connections, in the main thread, before the call is delivered
// to its object. QtDBus exports it for this, though no public header declares
// it.
QT_BEGIN_NAMESPACE
void qDBusAddSpyHook(void (*hook)(const QDBusMessage&));
QT_END_NAMESPACE
