#include "settings/program_browse_dialog.h"

#include "window_common/faces.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDateTime>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QTranslator>
#include <QTreeView>

#include <algorithm>

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

const QLocale &japanese()
{
    static const QLocale locale(QLocale::Japanese, QLocale::Japan);
    return locale;
}

// The dialog's own buttons and labels speak Japanese like the rest of the
// program, under every session language. Qt's translations are loaded the
// first time a dialog is made, not at start-up; without them installed the
// dialog keeps Qt's English texts. The file types' descriptions follow the
// program's locale, which becomes Japanese then too.
void useJapaneseQtTexts()
{
    const QString name = QStringLiteral("quenby-qtbase-ja");
    if (qApp->findChild<QTranslator *>(name))
        return;
    QLocale::setDefault(japanese());
    auto *translator = new QTranslator(qApp);
    translator->setObjectName(name);
    if (translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

// Qt's file dialog keeps its folder history, sidebar and column widths in a
// settings file of Qt's own in the user's configuration folder, read when a
// dialog is made and written when it goes. The program keeps everything in
// its one settings file, so Qt's is pointed at a place that can never exist
// (below a device, which no one can make a folder in): nothing is read or
// written. Nothing else in the program uses Qt's settings files.
QWidget *withoutQtSettingsFile(QWidget *parent)
{
    const QString nowhere = QStringLiteral("/dev/null/quenby");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, nowhere);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, nowhere);
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, nowhere);
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, nowhere);
    return parent;
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

QVariant ProgramFileFilter::data(const QModelIndex &index, int role) const
{
    const int column = index.column();
    if (role != Qt::DisplayRole || !m_files || column < 1 || column > 3)
        return QSortFilterProxyModel::data(index, role);
    const QModelIndex source = mapToSource(index);
    const bool folder = m_files->isDir(source);
    switch (column) {
    case 1:
        return folder ? QString() : japanese().formattedDataSize(m_files->size(source));
    case 2:
        // Qt's Japanese texts lack this one.
        return folder ? QStringLiteral("フォルダー") : QSortFilterProxyModel::data(index, role);
    default:
        return japanese().toString(m_files->lastModified(source), QLocale::ShortFormat);
    }
}

Qt::ItemFlags ProgramFileFilter::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QSortFilterProxyModel::flags(index);
    if (m_files && index.isValid())
        flags |= Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return flags;
}

ProgramBrowseDialog::ProgramBrowseDialog(QWidget *parent)
    : QFileDialog(withoutQtSettingsFile(parent))
    , m_filter(new ProgramFileFilter(this))
{
    useJapaneseQtTexts();
    // From here on every window without a face of its own, the dialog's
    // menus, lists of suggestions and tooltips included, takes the windows'
    // gothic rather than the desktop's first Japanese face.
    QApplication::setFont(captionFont());
    // Qt's own dialog looks and behaves the same on every desktop.
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
    setViewMode(QFileDialog::Detail);
    setProxyModel(m_filter);
    connect(this, &QFileDialog::filterSelected, m_filter, &ProgramFileFilter::refresh);
    if (auto *files = qobject_cast<QFileSystemModel *>(m_filter->sourceModel()))
        connect(files, &QFileSystemModel::directoryLoaded, this, &ProgramBrowseDialog::fitColumns);
}

// Qt sizes the columns for short English texts; Japanese dates and sizes
// are wider. The size, type and date columns grow to what the folder shows,
// the name column keeps its width.
void ProgramBrowseDialog::fitColumns()
{
    auto *view = findChild<QTreeView *>(QStringLiteral("treeView"));
    if (!view)
        return;
    const int nameWidth = view->columnWidth(0);
    for (int column = 0; column < view->header()->count(); ++column)
        view->resizeColumnToContents(column);
    // Long names may be shortened rather than push the other columns away.
    view->setColumnWidth(0, std::clamp(view->columnWidth(0), nameWidth, 2 * nameWidth));
    const int missing = view->header()->length() - view->viewport()->width();
    if (missing > 0 && isVisible())
        resize(std::min(width() + missing, screen()->availableGeometry().width()), height());
}

// Title, type list and start folder are set anew before every showing. The
// last confirmed file comes preselected, which opens the dialog in its folder.
void ProgramBrowseDialog::prepare(const QString &startFolder)
{
    setWindowTitle(QStringLiteral("TARVEN Inc.参照"));
    setNameFilters(typeEntries());
    selectNameFilter(typeEntries().constFirst());
    setDirectory(startFolder);
    // Qt's first place, "Computer", has no Japanese name; the root folder
    // shows as "/".
    setSidebarUrls({QUrl::fromLocalFile(QStringLiteral("/")), QUrl::fromLocalFile(QDir::homePath())});
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
