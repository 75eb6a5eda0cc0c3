#include "driverarguments.h"

#include "payloadcodec.h"

namespace zq::programproxy {

QString driverFixedProcessList()
{
    const QString twelve(12, QLatin1Char(' '));
    return QStringLiteral("AiDenoiserServer.exe,auclt.exe,maLauncher.exe,maUpdat.exe,minibrowser.exe,QPerfHelper.exe,"
                          "QQ.exe,")
        + twelve
        + QStringLiteral("QQApp.exe,QQExternal.exe,QQExternalEx.exe,bugreport.exe,cabarc.exe,QQLiveBrowser.exe,"
                         "QQLiveInstaller.exe,QQLivePlayer.exe,")
        + twelve
        + QStringLiteral("QQLivePlayerBrowser.exe,uninst.exe,QQOcrHelper.exe,QQPcmgrDownload.exe,QQSafeUD.exe,"
                         "QQScLauncher.exe,QQUrlMgr.exe,")
        + twelve
        + QStringLiteral("QQSetupEx.exe,StorageTool.exe,Tencentdl.exe,Timsh.exe,Timwp.exe,TxBugReport.exe,"
                         "TXPlatform.exe,QQExternal.exe,QQUninst.exe,txupd.exe");
}

QStringList driverArguments(int programPort, const QStringList& entryNames, int uiUdpPort)
{
    PayloadCodec codec;
    codec.setKey(PayloadCodec::driverKey());
    QString programs;
    for (const QString& name : entryNames)
        programs += name + QLatin1Char(',');
    return {
        QStringLiteral("SOCK5"),
        QString(),
        QString(),
        codec.encodeText(QStringLiteral("127.0.0.1:") + QString::number(programPort)),
        QString(),
        codec.encodeText(programs),
        codec.encodeText(QString::number(uiUdpPort)),
        QStringLiteral("10086"),
        QStringLiteral("0"),
        codec.encodeText(QString()),
        QStringLiteral("true"),
        codec.encodeText(driverFixedProcessList()),
        QStringLiteral("true"),
        QStringLiteral("true"),
        codec.encodeText(QString::fromLatin1(kDriverProbeHost)),
        QStringLiteral("false"),
        QStringLiteral("false"),
    };
}

QString driverCommandLine(const QStringList& arguments)
{
    QStringList quoted;
    for (const QString& argument : arguments)
        quoted.append(QLatin1Char('"') + argument + QLatin1Char('"'));
    return quoted.join(QLatin1Char(' '));
}

} // namespace zq::programproxy
