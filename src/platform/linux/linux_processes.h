#pragma once

#include "platform/interfaces/processes.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace quenby {

class LinuxJournal;

// Starts the run's processes on Linux. A slot's text runs through the shell
// exactly as typed, once the program it names has been found (see
// slot_command.h). The two clean-ups run in the clean-up helper. Every process
// starts hidden: its own session, no terminal, input from /dev/null. A slot's
// output and errors go to the journal under "quenby-slot<n>", the helper's
// report under "quenby"; where no journal runs, a slot's output goes to
// /dev/null and the helper's report to our standard error.
class LinuxProcesses : public Processes
{
public:
    // `helperFolders`: where to look for the clean-up helper, in order.
    LinuxProcesses(LinuxJournal &journal, QString interpreter = QStringLiteral("/bin/sh"),
                   QStringList helperFolders = defaultHelperFolders());
    ~LinuxProcesses() override;

    ShellResult runSlot(int slot, const QString &text) override;
    ShellResult emptyTempFolder() override;
    ShellResult clearRecentDocuments() override;
    std::unique_ptr<ProcessWatch> watch(qint64 pid) override;

    // Beside the running executable, then ../<libexec>/quenby/ relative to it.
    static QStringList defaultHelperFolders();
    static QString helperName() { return QStringLiteral("quenby-clean"); }

private:
    ShellResult startHelper(const QStringList &arguments);
    QString findHelper() const;
    void reapInBackground(qint64 pid);

    LinuxJournal &m_journal;
    QString m_interpreter;
    QStringList m_helperFolders;
    std::vector<std::unique_ptr<ProcessWatch>> m_helpers;
};

} // namespace quenby
