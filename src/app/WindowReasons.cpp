#include "WindowReasons.h"

#include <QHash>
#include <QRegularExpression>
#include <functional>
#include <vector>

#include "Outcome.h"

namespace {

// What the system says of a failed file operation (strerror), in Chinese;
// another text stays as it is.
QString SystemText(const QString& text) {
  static const QHash<QString, QString> kTexts = {
      {QStringLiteral("No such file or directory"), QStringLiteral("文件或文件夹不存在")},
      {QStringLiteral("Permission denied"), QStringLiteral("没有权限")},
      {QStringLiteral("No space left on device"), QStringLiteral("磁盘空间不足")},
      {QStringLiteral("Read-only file system"), QStringLiteral("文件系统只读")},
      {QStringLiteral("Is a directory"), QStringLiteral("这是一个文件夹")},
      {QStringLiteral("Not a directory"), QStringLiteral("路径中有一项不是文件夹")},
      {QStringLiteral("File name too long"), QStringLiteral("文件名太长")},
      {QStringLiteral("Disk quota exceeded"), QStringLiteral("超出磁盘配额")},
      {QStringLiteral("Too many open files"), QStringLiteral("打开的文件过多")},
      {QStringLiteral("Invalid argument"), QStringLiteral("文件名无效")},
  };
  return kTexts.value(text, text);
}

// The file operations of the download worker ("cannot write PATH: why").
QString FileOperation(const QString& verb) {
  static const QHash<QString, QString> kVerbs = {
      {QStringLiteral("open"), QStringLiteral("无法打开文件")},
      {QStringLiteral("create"), QStringLiteral("无法创建文件")},
      {QStringLiteral("read"), QStringLiteral("无法读取文件")},
      {QStringLiteral("write"), QStringLiteral("无法写入文件")},
      {QStringLiteral("size"), QStringLiteral("无法读取文件大小")},
      {QStringLiteral("delete"), QStringLiteral("无法删除文件")},
      {QStringLiteral("position"), QStringLiteral("无法定位文件")},
      {QStringLiteral("shorten"), QStringLiteral("无法截短文件")},
      {QStringLiteral("close"), QStringLiteral("无法关闭文件")},
  };
  return kVerbs.value(verb);
}

using TRender = std::function<QString(const QRegularExpressionMatch&)>;

struct TEntry {
  QRegularExpression Pattern;  // the whole reason
  TRender Render;
};

// An entry whose Chinese text takes the captures in the order of %1, %2, ...
TEntry Text(const char* pattern, QString chinese) {
  return {QRegularExpression(QString::fromLatin1(pattern)),
          [chinese](const QRegularExpressionMatch& match) {
            // One pass, so that a "%2" inside a path stays as it is.
            QString text;
            for (qsizetype i = 0; i < chinese.size(); ++i) {
              const QChar c = chinese[i];
              if (c == QLatin1Char('%') && i + 1 < chinese.size() && chinese[i + 1].isDigit()) {
                text += match.captured(chinese[++i].digitValue());
              } else {
                text += c;
              }
            }
            return text;
          }};
}

// An entry for a reason that has no variable part, as the layer that gives
// it spells it.
TEntry Exactly(const char* reason, QString chinese) {
  const QString pattern = QRegularExpression::escape(QString::fromUtf8(reason));
  return {QRegularExpression(QLatin1Char('^') + pattern + QLatin1Char('$')),
          [chinese](const QRegularExpressionMatch&) { return chinese; }};
}

const std::vector<TEntry>& Catalogue() {
  static const std::vector<TEntry> kCatalogue = {
      // The server's answers.
      Text("^HTTP (\\d{3}) to the ranged request$", QStringLiteral("服务器对续传请求回答 %1")),
      Text("^HTTP (\\d{3}(?: .*)?)$", QStringLiteral("服务器回答 %1")),
      Text("^(?:no answer from the server|the server sent no answer|Empty reply from server)$",
           QStringLiteral("服务器没有回答")),
      Text("^the server sent no bytes$", QStringLiteral("服务器没有发送数据")),
      // The connection.
      Exactly(inet::reason::kTimedOut, QStringLiteral("等待服务器超时")),
      Exactly(inet::reason::kStopped, QStringLiteral("已停止")),
      Text("^Failed to connect to (.+) port (\\d+)(?: after \\d+ ms)?: .*$",
           QStringLiteral("无法连接到服务器 %1 (端口 %2)")),
      Text("^Could not resolve host: (.+)$", QStringLiteral("找不到服务器 %1")),
      Text("^Maximum \\((\\d+)\\) redirects followed$", QStringLiteral("重定向过多 (超过 %1 次)")),
      Text("^Recv failure: Connection reset by peer$", QStringLiteral("连接被服务器重置")),
      Text("^no host in the address$", QStringLiteral("地址中没有服务器")),
      Text("^the address does not name the server (.+)$", QStringLiteral("地址与服务器 %1 不符")),
      Text("^not a web address$", QStringLiteral("不是网址")),
      Text("^URL using bad/illegal format or missing URL$", QStringLiteral("网址的格式不对")),
      Text("^Protocol \"(.+)\" not supported.*$", QStringLiteral("不支持 %1 协议")),
      // The page fetch.
      Text("^the page is larger than (\\d+) MB$", QStringLiteral("网页超过 %1 MB")),
      Text("^the page took longer than (\\d+) s$", QStringLiteral("网页读取超过 %1 秒")),
      // The answer to a download.
      Text("^larger than 2 GiB$", QStringLiteral("文件大于 2 GiB")),
      Text("^the server announced an invalid length: (.*)$",
           QStringLiteral("服务器给出的长度无效: %1")),
      Text("^the server announced no length \\((\\d+) bytes received\\)$",
           QStringLiteral("服务器没有给出长度 (已收到 %1 字节)")),
      Text("^the answer ended after (\\d+) of (\\d+) bytes$",
           QStringLiteral("回答在 %1 / %2 字节处中断")),
      Text("^the answer ended after (\\d+) bytes$", QStringLiteral("回答在 %1 字节处中断")),
      Text("^the answer does not fit the range asked for$",
           QStringLiteral("服务器的回答与续传的范围不符")),
      Text("^the answer is longer than the (\\d+) bytes announced$",
           QStringLiteral("回答长于服务器给出的 %1 字节")),
      Text("^failed for a reason that was not given$", QStringLiteral("下载失败, 原因不明")),
      // The threads and the files.
      Text("^cannot start a download thread: .*$",
           QStringLiteral("无法启动下载线程: 系统拒绝了新线程 (任务数或内存的限制)")),
      Text("^the downloaded file is gone: (.+)$", QStringLiteral("下载的文件不见了: %1")),
      Text("^the download of another address is still writing (.+)$",
           QStringLiteral("另一个地址的下载仍在写入 %1")),
      {QRegularExpression(QStringLiteral(
           "^cannot (open|create|read|write|size|delete|position|shorten|close) (.+): ([^:]+)$")),
       [](const QRegularExpressionMatch& match) {
         return FileOperation(match.captured(1)) + QLatin1Char(' ') + match.captured(2) +
                QStringLiteral(": ") + SystemText(match.captured(3));
       }},
  };
  return kCatalogue;
}

}  // namespace

QString InWindowLanguage(const QString& raw) {
  for (const TEntry& entry : Catalogue()) {
    const QRegularExpressionMatch match = entry.Pattern.match(raw);
    if (match.hasMatch()) return entry.Render(match);
  }
  return raw;
}

QString InWindowLanguage(const std::string& raw) {
  return InWindowLanguage(QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size())));
}
