// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit/qt/table_window.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace pictavo {
namespace {

QString to_qstring(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The source as Qt's views ask for it: only the cells in sight are ever made.
class SourceModel final : public QAbstractTableModel {
public:
    explicit SourceModel(TableSource& source) : source_(source) {}

    int rowCount(const QModelIndex& parent) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(std::min<std::size_t>(source_.row_count(), INT_MAX));
    }
    int columnCount(const QModelIndex& parent) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(source_.column_count());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid())
            return {};
        const auto row = static_cast<std::size_t>(index.row());
        const auto column = static_cast<std::size_t>(index.column());
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
            return to_qstring(source_.cell(row, column));
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignVCenter
                                       | (source_.column_is_numeric(column) ? Qt::AlignRight : Qt::AlignLeft));
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0)
            return {};
        return to_qstring(source_.column_title(static_cast<std::size_t>(section)));
    }
    void sort(int column, Qt::SortOrder order) override
    {
        if (column < 0)
            return;
        emit layoutAboutToBeChanged();
        source_.sort_by(static_cast<std::size_t>(column), order == Qt::AscendingOrder);
        emit layoutChanged();
    }
    void filter(bool on)
    {
        beginResetModel();
        source_.set_filter(on);
        endResetModel();
    }

private:
    TableSource& source_;
};

} // namespace

void run_table_window(QWidget* owner, const TableWindowSpec& spec, TableSource& source, const TableActionHandler& act,
                      const std::function<void(QWidget&)>& after_shown)
{
    QDialog window(owner);
    window.setWindowTitle(to_qstring(spec.title));
    window.resize(spec.width, spec.height);
    auto* layout = new QVBoxLayout(&window); // owned by the window, as every widget below
    auto* filter = new QCheckBox(to_qstring(spec.filter_caption), &window);
    layout->addWidget(filter);

    SourceModel model(source);
    auto* table = new QTableView(&window);
    table->setModel(&model);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setAlternatingRowColors(true);
    table->setWordWrap(false);
    // Fixed row heights and column widths: nothing is measured over all rows.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table->horizontalHeader()->setStretchLastSection(false);
    table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table->setSortingEnabled(true);
    if (source.column_count() > 0) {
        const int others = static_cast<int>(source.column_count()) - 1;
        const int narrow = 95;
        table->setColumnWidth(0, std::max(200, spec.width - 40 - narrow * others - 120));
        for (int column = 1; column <= others; ++column)
            table->setColumnWidth(column, narrow);
        // The reason's column, when there is one beside the path, gets the room left over.
        if (others >= 2)
            table->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    }
    layout->addWidget(table, 1);

    auto* totals = new QLabel(to_qstring(source.totals()), &window);
    totals->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(totals);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &window);
    QPushButton* save = buttons->addButton(to_qstring(spec.save_caption), QDialogButtonBox::ActionRole);
    layout->addWidget(buttons);

    QObject::connect(filter, &QCheckBox::toggled, &window, [&](bool on) {
        model.filter(on);
        totals->setText(to_qstring(source.totals()));
    });
    QObject::connect(table, &QTableView::activated, &window, [&](const QModelIndex& index) {
        if (index.isValid())
            act(TableAction::Activate, static_cast<std::size_t>(index.row()));
    });
    QObject::connect(save, &QPushButton::clicked, &window, [&] { act(TableAction::Save, 0); });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &window, &QDialog::reject);
    if (after_shown)
        QTimer::singleShot(0, &window, [&] { after_shown(window); });
    window.exec();
}

} // namespace pictavo
