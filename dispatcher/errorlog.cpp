#include "cmddealmodule.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <mutex>

namespace {
// Serialises whole calls so that lines written from several threads never mix.
std::mutex errorLogMutex;

QString hexByte(unsigned char value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0'));
}
} // namespace

void CmdDealModule::writeErrorLog(ProtocolData record)
{
    std::lock_guard<std::mutex> lock(errorLogMutex);

    const QString dirPath = QDir::currentPath() + QStringLiteral("/Errorlog/");
    QDir dir(dirPath);
    if (!dir.exists() && !dir.mkdir(dirPath))
        return;

    const QString path = dirPath + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd"))
        + QStringLiteral(".log");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;

    const QString header = QStringLiteral("<%1 %2 %3 %4 %5>")
                               .arg(hexByte(record.byCmd), hexByte(record.bySubCmd),
                                    hexByte(record.byParam1), hexByte(record.byParam2),
                                    hexByte(record.byParam3));
    const QByteArray data = record.baData.toHex();

    const QString stamp
        = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss zzz"));
    // One write per line: O_APPEND keeps it whole even against other processes.
    QByteArray line = '[' + stamp.toLatin1() + ']' + header.toLatin1() + data + '\n';
    file.write(line);
}
