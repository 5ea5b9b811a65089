// ncferry-cli: the send and receive engines from a command line.
#include "tools/AutoCommand.h"
#include "tools/CliArguments.h"
#include "tools/ReceiveCommand.h"
#include "tools/SendCommand.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args;
    QString error;
    if (!CliArguments::decode(argc, argv, &args, &error)) {
        std::fprintf(stderr, "ncferry-cli: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    const QString command = args.isEmpty() ? QString() : args.takeFirst();
    if (command == QLatin1String("send"))
        return runSendCommand(args);
    if (command == QLatin1String("receive"))
        return runReceiveCommand(args);
    if (command == QLatin1String("auto"))
        return runAutoCommand(args);
    std::fputs("usage: ncferry-cli send --port-setting \"<record line>\" [--no-standby] FILE...\n"
               "       ncferry-cli receive --port-setting \"<record line>\" [--timeout SECONDS] OUT\n"
               "       ncferry-cli auto --port-setting \"<record line>\" [--log FILE] [--port-setting ...]... --options <Option.ini>\n",
               stderr);
    return 1;
}
