// What most test files include, compiled once per build instead of once per
// file: the program's common headers, GoogleTest and the Qt classes tests use.
#pragma once

#include "../../src/Precompiled.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QKeyEvent>
#include <QMenu>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
