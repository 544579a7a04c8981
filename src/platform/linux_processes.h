#pragma once

#include "platform/processes.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace quenby {

// Carries out the command texts of the run on Linux. "command.com /c <text>"
// runs <text> through the shell, exactly as stored; when <text> is the full
// path of an existing file, it runs that file whatever characters the path
// holds. The two clean-up texts,
// "deltree /Y <home>\temp\*.*" and "...\recent\*.*", empty the user's
// temporary folder and clear the recent-documents list through the clean-up
// helper; any other deltree target deletes nothing. Every process starts
// hidden: its own session, no terminal, standard streams on /dev/null.
class LinuxProcesses : public Processes
{
public:
    // `helperFolders`: where to look for the clean-up helper, in order.
    explicit LinuxProcesses(QString interpreter = QStringLiteral("/bin/sh"),
                            QStringList helperFolders = defaultHelperFolders());
    ~LinuxProcesses() override;

    ShellResult shell(const QString &commandLine) override;
    std::unique_ptr<ProcessWatch> watch(qint64 pid) override;

    // Beside the running executable, then ../<libexec>/quenby/ relative to it.
    static QStringList defaultHelperFolders();
    static QString helperName() { return QStringLiteral("quenby-clean"); }

private:
    ShellResult runThroughShell(const QString &text);
    ShellResult deltree(const QString &target);
    ShellResult startHelper(const QStringList &arguments);
    QString findHelper() const;
    void reapInBackground(qint64 pid);

    QString m_interpreter;
    QStringList m_helperFolders;
    std::vector<std::unique_ptr<ProcessWatch>> m_helpers;
};

} // namespace quenby
