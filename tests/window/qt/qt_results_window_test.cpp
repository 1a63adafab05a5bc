// SPDX-License-Identifier: GPL-3.0-or-later
// The results window on Qt: a model over thousands of rows, sorting by the header, the
// failures filter, the totals line, and readable text under a light and a dark theme.
#include "readable_text.h"
#include "toolkit/qt/qt_toolkit.h"
#include "window/results_table.h"
#include "window/window_layout.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

namespace pictavo {
namespace {

RunReport report_of(int count)
{
    RunReport report;
    for (int i = 0; i < count; ++i) {
        ImageResult result;
        result.outcome = ImageOutcome::Written;
        result.source_bytes = 2'000'000 + i * 1000;
        result.output_bytes = 300'000 + (i * 7919) % 100'000;
        if (i % 5 == 4)
            result = failed_image(i % 10 == 4 ? FailureReason::CutOff : FailureReason::NotAnImage);
        report.images.push_back({"holiday/day " + std::to_string(i / 50) + "/IMG_" + std::to_string(1000 + i) + ".jpg",
                                 result});
    }
    return report;
}

struct Shown {
    int rows = 0;
    int filtered_rows = 0;
    QString first_after_sort;
    QString totals;
    double text_contrast = 0;
};

// Opens the window over the report, acts in it as a user would and closes it.
Shown show_results(const RunReport& report, const std::string& picture)
{
    QtToolkit tk;
    ResultsTable table(report);
    Shown shown;
    tk.on_table_shown = [&](QWidget& window) {
        auto* view = window.findChild<QTableView*>();
        auto* filter = window.findChild<QCheckBox*>();
        ASSERT_NE(view, nullptr);
        ASSERT_NE(filter, nullptr);
        shown.rows = view->model()->rowCount();
        const QImage image = window.grab().toImage();
        image.save(QString::fromStdString(picture));
        // The cells' text against the table's background, in the first rows' area.
        const QRect cells = view->viewport()->geometry().translated(view->pos()).adjusted(4, 2, 0, 0);
        shown.text_contrast = text_contrast(image, QRect(cells.topLeft(), QSize(cells.width() / 3, 18)));
        view->horizontalHeader()->setSortIndicator(ResultsTable::OutputBytes, Qt::DescendingOrder);
        shown.first_after_sort = view->model()->index(0, ResultsTable::File).data().toString();
        filter->click();
        shown.filtered_rows = view->model()->rowCount();
        for (QLabel* label : window.findChildren<QLabel*>())
            shown.totals = label->text();
        window.close();
    };
    TableWindowSpec spec;
    spec.title = RESULTS_TITLE;
    spec.filter_caption = RESULTS_FILTER_CAPTION;
    spec.save_caption = SAVE_REPORT_CAPTION;
    tk.show_table(spec, table, [](TableAction, std::size_t) {});
    return shown;
}

TEST(QtResultsWindow, ShowsSortsAndFiltersThousandsOfRowsReadablyInALightAndADarkTheme)
{
    const RunReport report = report_of(5000);
    const std::string folder = PICTAVO_BINARY_DIR;
    const Shown light = show_results(report, folder + "/pictavo-results-light.png");
    EXPECT_EQ(light.rows, 5000);
    // The largest output: i x 7919 mod 100000 highest among the written images.
    int largest = -1;
    for (int i = 0; i < 5000; ++i)
        if (i % 5 != 4 && (largest < 0 || (i * 7919) % 100'000 > (largest * 7919) % 100'000))
            largest = i;
    EXPECT_EQ(light.first_after_sort.toStdString(), report.images[static_cast<std::size_t>(largest)].relative_path);
    EXPECT_EQ(light.filtered_rows, 1000);
    EXPECT_EQ(light.totals.toStdString(), "1000 images, 1000 failed.");
    EXPECT_GE(light.text_contrast, 4.5);

    const QPalette saved = QApplication::palette();
    use_dark_fusion_theme();
    const Shown dark = show_results(report, folder + "/pictavo-results-dark.png");
    QApplication::setPalette(saved);
    EXPECT_EQ(dark.rows, 5000);
    EXPECT_GE(dark.text_contrast, 4.5);
}

} // namespace
} // namespace pictavo
