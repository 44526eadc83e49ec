// pixvane-get as a user runs it: the real program in a folder of its own,
// with its input on standard input; what it printed and its exit status come back.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <string>

struct Outcome {
  int Status = -1;  // -1: it crashed or did not end within a minute
  std::string Out;
  std::string Err;
};

// dir: the current folder; data: its data folder (XDG_DATA_HOME).
inline Outcome RunGet(const std::string& dir, const std::string& data, const QStringList& arguments,
                      const QByteArray& input = {},
                      const QString& program = QStringLiteral(PIXVANE_GET_BINARY)) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("XDG_DATA_HOME", QString::fromStdString(data));
  process.setProcessEnvironment(environment);
  process.setWorkingDirectory(QString::fromStdString(dir));
  process.start(program, arguments);
  process.write(input);
  process.closeWriteChannel();
  Outcome outcome;
  if (!process.waitForFinished(60000)) return outcome;
  outcome.Status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  outcome.Out = process.readAllStandardOutput().toStdString();
  outcome.Err = process.readAllStandardError().toStdString();
  return outcome;
}
