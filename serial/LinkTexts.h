#pragma once

#include "serial/CommandExchange.h"

#include <QCoreApplication>
#include <QString>

// The operator's words for what happens to the serial link, shared by every front end.
namespace LinkTexts {

inline QString openError()
{
    return QCoreApplication::translate("LinkTexts", "端口打开错误！或许参数设置不正确？请重试");
}
inline QString permissionHint()
{
    return QCoreApplication::translate(
        "LinkTexts", "（没有访问该串口的权限。在 Linux 上请把当前用户加入 dialout 组，重新登录后再试。）");
}
// %1 the port name, %2 the device the list showed under it.
inline QString deviceGone()
{
    return QCoreApplication::translate("LinkTexts", "（列表中 %1 所指的设备 %2 已不存在，请重新打开串口列表选择。）");
}
// %1 the system's reason.
inline QString portClosed() { return QCoreApplication::translate("LinkTexts", "串口未打开：%1"); }
// %1 the port name, %2 the system's reason.
inline QString linkLost()
{
    return QCoreApplication::translate("LinkTexts", "串口 %1 已断开（%2）。请检查连线和仪器后重新连接。");
}
// %1 the port name: no device stands behind it (unplugged, or never there).
inline QString noDevice()
{
    return QCoreApplication::translate("LinkTexts", "（%1 没有对应的设备：设备已拔出或不存在，请重新打开串口列表选择。）");
}
// The system's reason for a serial fault in the operator's words, for the reasons met most
// often; any other reason is returned as it is.
QString systemReason(const QString& reason);
inline QString noData()
{
    return QCoreApplication::translate("LinkTexts", "没有读取到数据！请检查连线或仪器的电源开关是否关闭！");
}

// What became of a transfer that did not end normally; %1 the bytes received so far, as the
// front end writes numbers.
QString interrupted(CommandExchange::Interruption why);
// Input nobody asked for is being read and dropped, and when it has been; %1 its bytes so far.
inline QString discarding()
{
    return QCoreApplication::translate("LinkTexts", "正在丢弃上次未完成的数据：%1 字节");
}
inline QString discarded() { return QCoreApplication::translate("LinkTexts", "已丢弃上次未完成的数据：%1 字节"); }

} // namespace LinkTexts
