// SPDX-License-Identifier: GPL-3.0-or-later
// scripts/run.sh, behind `make run`: without a display it says so in one
// line and points to pagemint-cli and xvfb-run instead of starting the
// window into Qt's platform-plugin error; with one it starts the window.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "app_test_support.h"

namespace pagemint::testing {
namespace {

TEST(RunScript, WithoutADisplayItSaysWhatToUse) {
  QTemporaryDir build;
  ASSERT_TRUE(build.isValid());
  // A stand-in for the window that says it was started.
  ASSERT_TRUE(QDir(build.path()).mkpath("app"));
  QFile window(build.filePath("app/pagemint"));
  ASSERT_TRUE(window.open(QIODevice::WriteOnly));
  window.write("#!/bin/sh\necho started\n");
  window.close();
  window.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

  const struct {
    const char* name;
    QStringList set;  // NAME=VALUE; DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM unset otherwise
    bool started;
  } cases[] = {
      {"no display", {}, false},
      {"X display", {"DISPLAY=:5"}, true},
      {"Wayland", {"WAYLAND_DISPLAY=wayland-0"}, true},
      {"platform chosen by hand", {"QT_QPA_PLATFORM=offscreen"}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
      environment.remove(name);
    for (const QString& pair : c.set)
      environment.insert(pair.section('=', 0, 0), pair.section('=', 1));
    QProcess run;
    run.setProcessEnvironment(environment);
    run.start("bash", {QString(PAGEMINT_SOURCE_DIR) + "/scripts/run.sh", build.path()});
    ASSERT_TRUE(run.waitForFinished(30000));
    const QString out = QString::fromUtf8(run.readAllStandardOutput() + run.readAllStandardError());
    EXPECT_EQ(run.exitCode(), 0) << out;
    if (c.started) {
      EXPECT_EQ(out, "started\n");
      continue;
    }
    EXPECT_EQ(out.count('\n'), 1) << out;
    EXPECT_TRUE(out.contains("no display")) << out;
    EXPECT_TRUE(out.contains(build.path() + "/cli/pagemint-cli")) << out;
    EXPECT_TRUE(out.contains("xvfb-run " + build.path() + "/app/pagemint")) << out;
  }
}

}  // namespace
}  // namespace pagemint::testing
