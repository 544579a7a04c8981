#pragma once

#include <QFileDialog>
#include <QSortFilterProxyModel>

#include <optional>

class QFileSystemModel;

namespace quenby {

// Which files each entry of the browse dialog's type list shows. The entries
// keep their descriptions, but programs and scripts here rarely end in .exe
// or .bat: the programs entry also shows files with the execute permission,
// the batch entry also shell scripts (*.sh). Folders always show.
class ProgramFileFilter : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setSourceModel(QAbstractItemModel *model) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Sizes and times in Japanese whatever the session's language.
    QVariant data(const QModelIndex &index, int role) const override;

    // Whether a file of this name and these permissions belongs to an entry
    // whose patterns are `patterns`.
    static bool accepts(const QStringList &patterns, const QString &fileName, bool executable);

    // The dialog's type entry changed: filter anew.
    void refresh();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    bool acceptsSourceFile(const QModelIndex &sourceIndex) const;

    QFileSystemModel *m_files = nullptr;
};

// The file dialog behind the five browse buttons: one per opening of the
// settings window. It starts in the given folder every time and remembers the
// last confirmed file until the window closes. It speaks Japanese in the
// windows' gothic whatever the session's language, and keeps nothing of its
// own on disk.
class ProgramBrowseDialog : public QFileDialog
{
    Q_OBJECT

public:
    explicit ProgramBrowseDialog(QWidget *parent);

    // Shows the dialog modally. Returns the chosen full path, or nothing when
    // the user cancels.
    std::optional<QString> choose(const QString &startFolder);

    ProgramFileFilter *fileFilter() const { return m_filter; }

private:
    void prepare(const QString &startFolder);
    void hideSuggestions();
    void fitColumns();

    ProgramFileFilter *m_filter;
    QString m_fileName;
};

} // namespace quenby
