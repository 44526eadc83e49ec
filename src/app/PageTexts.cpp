#include "PageTexts.h"

const QStringList& Memo3Lines() {
  static const QStringList lines = {
      QStringLiteral("常见问题:"),
      QStringLiteral("1.问:支持下载服务器带防盗链功能的资源吗"),
      QStringLiteral("  答:图片服务器带防盗链功能，将无法下载图片."),
      QStringLiteral("2.问:下载列表存在一些无法下载的链接?"),
      QStringLiteral("  答:下载列表剩余图片列表多数为无法下载的图片,或网络太慢导致无法下载."),
      QStringLiteral("3.问:下载列表剩余无法下载的列表怎么办?"),
      QStringLiteral("  答:剩余列表无法下载的链接不用理会下次导入下载列表会自动清空."),
      QStringLiteral("4.问:提示下载任务完成后进度条还会动吗? "),
      QStringLiteral(
          "  答:不会.所有图片都下载结束后才提示完成;下载中进度条显示最近报告进度的那个图片."),
  };
  return lines;
}

const QStringList& Memo4Lines() {
  static const QStringList lines = {
      QStringLiteral("更新说明:"),
      QStringLiteral("版本:1.3.2010.10.27"),
      QStringLiteral("1.修正了右键菜单 ->批量加入[已处理]图片列表 不能清空旧数据的问题"),
      QString(),
      QString(),
      QStringLiteral("版本:1.2.2010.10.24"),
      QStringLiteral("1.加入了多线程下载引擎"),
      QStringLiteral("2.加入进度条显示"),
      QStringLiteral("3.加入了图片下载文件夹预览按钮"),
      QStringLiteral("4.加入了图片链接强制下载，解决个别服务器图片没有扩展名无法下载的问题"),
      QStringLiteral("5.已处理图片列表加入了统计图片链接数"),
      QStringLiteral("6.采用了更加丰富的图片链接获取引擎"),
      QStringLiteral("7.优化了批量下载图片时程序界面假死的问题"),
      QStringLiteral("8.加入了丰富的过滤规则"),
  };
  return lines;
}
