#include "process_launcher.h"

#include <sys/stat.h>

#include <QEventLoop>
#include <QProcess>

#include "text_util.h"

namespace cv2 {

namespace {

bool IsScript(const std::string& path) {
  const std::string lower = AsciiLower(path);
  auto endsWith = [&lower](const std::string& ending) {
    return lower.size() >= ending.size() &&
           lower.compare(lower.size() - ending.size(), ending.size(), ending) == 0;
  };
  return endsWith(".sh") || endsWith(".run");
}

}  // namespace

bool ProcessLauncher::RunAndWait(const std::string& program, const std::string& argument) {
  QProcess process;
  process.setProgram(QString::fromStdString(program));
  if (!argument.empty()) process.setArguments({QString::fromStdString(argument)});
  // An installer talks to the same terminal as the client (cv2ctl), if any.
  process.setProcessChannelMode(QProcess::ForwardedChannels);
  process.setInputChannelMode(QProcess::ForwardedInputChannel);
  QEventLoop loop;
  bool done = false;
  bool started = true;
  QObject::connect(&process, &QProcess::finished, &loop, [&] {
    done = true;
    loop.quit();
  });
  QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    started = false;
    done = true;
    loop.quit();
  });
  process.start();
  loop.exec();
  // An application that quits meanwhile ends every nested loop, and no loop runs again: the
  // installer is still waited for, without serving events.
  if (!done) process.waitForFinished(-1);
  return started;
}

bool ProcessLauncher::LaunchAndWait(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;  // nothing to start
  const bool regular = S_ISREG(info.st_mode);
  if (regular && (info.st_mode & 0111) != 0) {
    if (RunAndWait(path, "")) return true;
    // A script without its interpreter line cannot be executed directly.
    if (!IsScript(path)) return false;
    return RunAndWait("/bin/sh", path);
  }
  if (regular && IsScript(path)) return RunAndWait("/bin/sh", path);
  m_ui.OpenWithDesktop(path);
  return false;
}

}  // namespace cv2
