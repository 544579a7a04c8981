#include "settings/program_browse_dialog.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QCoreApplication>
#include <QFileSystemModel>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QTranslator>

namespace quenby {

namespace {

const QStringList &typeEntries()
{
    static const QStringList entries{
        QStringLiteral("実行形式(*.exe)"),
        QStringLiteral("ショートカット(*.lnk)"),
        QStringLiteral("バッチファイル(*.bat)"),
        QStringLiteral("すべてのファイル(*.*)"),
    };
    return entries;
}

bool matchesAny(const QStringList &patterns, const QString &fileName)
{
    for (const QString &pattern : patterns) {
        const QRegularExpression wildcard(QRegularExpression::wildcardToRegularExpression(pattern),
                                          QRegularExpression::CaseInsensitiveOption);
        if (wildcard.match(fileName).hasMatch())
            return true;
    }
    return false;
}

// The dialog's own buttons and labels speak Japanese like the rest of the
// program. Qt's translations are loaded the first time a dialog is made, not at
// start-up; without them installed the dialog keeps Qt's English texts.
void useJapaneseQtTexts()
{
    const QString name = QStringLiteral("quenby-qtbase-ja");
    if (qApp->findChild<QTranslator *>(name))
        return;
    auto *translator = new QTranslator(qApp);
    translator->setObjectName(name);
    if (translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

} // namespace

// "*.*" stands for every file, also for names without a dot.
bool ProgramFileFilter::accepts(const QStringList &patterns, const QString &fileName, bool executable)
{
    if (patterns.contains(QStringLiteral("*.*")) || matchesAny(patterns, fileName))
        return true;
    if (patterns.contains(QStringLiteral("*.exe")) && executable)
        return true;
    return patterns.contains(QStringLiteral("*.bat")) && matchesAny({QStringLiteral("*.sh")}, fileName);
}

// The file model only greys out the names its own patterns leave out; this
// filter decides what is shown.
void ProgramFileFilter::setSourceModel(QAbstractItemModel *model)
{
    QSortFilterProxyModel::setSourceModel(model);
    m_files = qobject_cast<QFileSystemModel *>(model);
    if (m_files)
        m_files->setNameFilterDisables(true);
}

void ProgramFileFilter::refresh()
{
    invalidateFilter();
}

bool ProgramFileFilter::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (!m_files)
        return true;
    return acceptsSourceFile(m_files->index(sourceRow, 0, sourceParent));
}

bool ProgramFileFilter::acceptsSourceFile(const QModelIndex &sourceIndex) const
{
    if (m_files->isDir(sourceIndex))
        return true;
    const QFileInfo info = m_files->fileInfo(sourceIndex);
    return accepts(m_files->nameFilters(), info.fileName(), info.isExecutable());
}

Qt::ItemFlags ProgramFileFilter::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QSortFilterProxyModel::flags(index);
    if (m_files && index.isValid())
        flags |= Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return flags;
}

ProgramBrowseDialog::ProgramBrowseDialog(QWidget *parent)
    : QFileDialog(parent)
    , m_filter(new ProgramFileFilter(this))
{
    useJapaneseQtTexts();
    // Qt's own dialog looks and behaves the same on every desktop.
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
    setProxyModel(m_filter);
    connect(this, &QFileDialog::filterSelected, m_filter, &ProgramFileFilter::refresh);
}

// Title, type list and start folder are set anew before every showing. The
// last confirmed file comes preselected, which opens the dialog in its folder.
void ProgramBrowseDialog::prepare(const QString &startFolder)
{
    setWindowTitle(QStringLiteral("TARVEN Inc.参照"));
    setNameFilters(typeEntries());
    selectNameFilter(typeEntries().constFirst());
    setDirectory(startFolder);
    if (!m_fileName.isEmpty())
        selectFile(m_fileName);
    m_filter->refresh();
}

std::optional<QString> ProgramBrowseDialog::choose(const QString &startFolder)
{
    prepare(startFolder);
    const bool accepted = exec() == QDialog::Accepted;
    hideSuggestions();
    if (!accepted || selectedFiles().isEmpty())
        return std::nullopt;
    m_fileName = selectedFiles().constFirst();
    return m_fileName;
}

// The file name's list of suggestions is a window of its own; Enter in the
// file name closes the dialog but would leave that list over the settings window.
void ProgramBrowseDialog::hideSuggestions()
{
    for (QCompleter *completer : findChildren<QCompleter *>()) {
        if (completer->popup())
            completer->popup()->hide();
    }
}

} // namespace quenby
