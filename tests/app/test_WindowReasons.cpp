// Every reason the core gives reads in the window's language, its variable
// part kept; a reason the catalogue does not know shows as it is.
#include <gtest/gtest.h>

#include <QString>
#include <utility>

#include "WindowReasons.h"

TEST(WindowReasons, EveryReasonOfTheCoreMapsAndKeepsItsVariablePart) {
  const std::pair<const char*, QString> cases[] = {
      {"HTTP 404 Not Found", "服务器回答 404 Not Found"},
      {"HTTP 503", "服务器回答 503"},
      {"HTTP 200 to the ranged request", "服务器对续传请求回答 200"},
      {"no answer from the server", "服务器没有回答"},
      {"the server sent no answer", "服务器没有回答"},
      {"Empty reply from server", "服务器没有回答"},
      {"the server sent no bytes", "服务器没有发送数据"},
      {"timed out", "等待服务器超时"},
      {"stopped", "已停止"},
      {"Failed to connect to 127.0.0.1 port 9 after 0 ms: Couldn't connect to server",
       "无法连接到服务器 127.0.0.1 (端口 9)"},
      {"Could not resolve host: nohost.invalid", "找不到服务器 nohost.invalid"},
      {"Maximum (10) redirects followed", "重定向过多 (超过 10 次)"},
      {"Recv failure: Connection reset by peer", "连接被服务器重置"},
      {"no host in the address", "地址中没有服务器"},
      {"the address does not name the server a.example:80", "地址与服务器 a.example:80 不符"},
      {"not a web address", "不是网址"},
      {"URL using bad/illegal format or missing URL", "网址的格式不对"},
      {"Protocol \"ftp\" not supported or disabled in libcurl", "不支持 ftp 协议"},
      {"the page is larger than 64 MB", "网页超过 64 MB"},
      {"the page took longer than 60 s", "网页读取超过 60 秒"},
      {"larger than 2 GiB", "文件大于 2 GiB"},
      {"the server announced an invalid length: -5", "服务器给出的长度无效: -5"},
      {"the server announced no length (77 bytes received)", "服务器没有给出长度 (已收到 77 字节)"},
      {"the answer ended after 500 of 1000 bytes", "回答在 500 / 1000 字节处中断"},
      {"the answer ended after 500 bytes", "回答在 500 字节处中断"},
      {"the answer does not fit the range asked for", "服务器的回答与续传的范围不符"},
      {"the answer is longer than the 10 bytes announced", "回答长于服务器给出的 10 字节"},
      {"failed for a reason that was not given", "下载失败, 原因不明"},
      {"cannot start a download thread: the system refused a new thread (a task or memory limit)",
       "无法启动下载线程: 系统拒绝了新线程 (任务数或内存的限制)"},
      {"the downloaded file is gone: /d/g 1/a%2b.jpg", "下载的文件不见了: /d/g 1/a%2b.jpg"},
      {"the download of another address is still writing /d/a.jpg",
       "另一个地址的下载仍在写入 /d/a.jpg"},
      {"cannot create /d/图片/a: b.jpg: No space left on device",
       "无法创建文件 /d/图片/a: b.jpg: 磁盘空间不足"},
      {"cannot write /d/a.jpg: Permission denied", "无法写入文件 /d/a.jpg: 没有权限"},
      {"cannot open /d/a.jpg.log: Some new system text",
       "无法打开文件 /d/a.jpg.log: Some new system text"},
      // Unknown reasons, and near misses of known ones, stay raw.
      {"SSL certificate problem: unable to get local issuer certificate",
       "SSL certificate problem: unable to get local issuer certificate"},
      {"stopped early", "stopped early"},
      {"HTTP/2 stream 1 was not closed cleanly", "HTTP/2 stream 1 was not closed cleanly"},
      {"", ""},
  };
  for (const auto& [raw, shown] : cases)
    EXPECT_EQ(InWindowLanguage(std::string(raw)), shown) << raw;
}
