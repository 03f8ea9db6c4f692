// The detailed view of one duplicate pair and its removal of the chosen file.
#include "ui/PairDetailsDialog.h"

#include "core/FileRecord.h"
#include "online/Postponement.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/PathText.h"

#include <QDate>
#include <QDesktopServices>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace twinspotter {

namespace {

constexpr int kColumns = 4;
constexpr int kColumnPath = 1;
constexpr int kColumnSize = 2;
constexpr int kColumnDate = 3;
constexpr int kColumnWidths[kColumns] = {37, 488, 93, 136};
// As many digits as a double holds exactly in decimal.
constexpr int kSignificantDigits = 15;

PairDetailsDialog::FileOpener& fileOpener()
{
    static PairDetailsDialog::FileOpener opener = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    return opener;
}

// The main window's host, except that the confirmation sits over this dialog rather than behind it.
class DialogHost : public CommandHost
{
public:
    DialogHost(CommandHost& main, QWidget* parent) : m_main(main), m_parent(parent) {}

    bool confirm(std::string_view question) override { return dialogs().confirm(m_parent, displayText(question)); }
    void reportKept(const std::vector<KeptFile>& kept) override { showKeptFiles(m_parent, kept); }
    RemovalTarget removalTarget() const override { return m_main.removalTarget(); }

private:
    CommandHost& m_main;
    QWidget* m_parent;
};

} // namespace

QString sizeText(std::int64_t size)
{
    const double kilobytes = static_cast<double>(size) / 1024.0;
    if (kilobytes == 0)
        return QStringLiteral("0 Kb");
    // "%.*e" rounds to the significant digits wanted; the digits are then laid out without an exponent, which
    // "%g" would switch to for small values.
    char scientific[64];
    std::snprintf(scientific, sizeof scientific, "%.*e", kSignificantDigits - 1, std::fabs(kilobytes));
    // Only the digits are kept: the C library's decimal point between them follows the locale.
    const char* exponentMark = std::strchr(scientific, 'e');
    std::string digits;
    for (const char* c = scientific; c != exponentMark; ++c)
        if (*c >= '0' && *c <= '9')
            digits += *c;
    const int exponent = std::atoi(exponentMark + 1);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string whole;
    std::string decimals;
    if (exponent >= 0) {
        const auto wholeDigits = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= wholeDigits) {
            whole = digits + std::string(wholeDigits - digits.size(), '0');
        } else {
            whole = digits.substr(0, wholeDigits);
            decimals = digits.substr(wholeDigits);
        }
    } else {
        whole = "0";
        decimals = std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
    QString text = kilobytes < 0 ? QStringLiteral("-") : QString();
    text += QString::fromLatin1(whole);
    if (!decimals.empty())
        text += QLocale::system().decimalPoint() + QString::fromLatin1(decimals);
    return text + QStringLiteral(" Kb");
}

QString dateText(std::int32_t packedDate)
{
    const DosDateTime unpacked = unpackDosDateTime(packedDate);
    const QDate date(unpacked.year, unpacked.month, unpacked.day);
    QString text = QLocale::system().toString(date, QLocale::ShortFormat);
    const int seconds = unpacked.hour * 3600 + unpacked.minute * 60 + unpacked.second;
    if (seconds == 0)
        return text;
    // The postponement file's formatter writes the C library's long time format after a fixed-width date
    // without blanks; only the time is wanted here.
    using namespace std::chrono;
    const LocalDateTime value{
        year_month_day{year{unpacked.year}, month{unsigned(unpacked.month)}, day{unsigned(unpacked.day)}},
        std::chrono::seconds{seconds}};
    const std::string formatted = DateTimeSettings::fromLocale().format(value);
    const std::string time = formatted.substr(formatted.find(' ') + 1);
    return text + QLatin1Char(' ') + displayText(time);
}

void PairDetailsDialog::setFileOpener(FileOpener opener)
{
    fileOpener() = opener ? std::move(opener) : [](const QUrl& url) { QDesktopServices::openUrl(url); };
}

PairDetailsDialog::PairDetailsDialog(SearchSession& session, std::size_t pairIndex, CommandHost& host, QWidget* parent)
    : QDialog(parent), m_session(session), m_host(host), m_pair(pairIndex)
{
    setObjectName(QStringLiteral("DetailedViewForm"));
    setWindowTitle(QStringLiteral("Detailed view"));
    setFixedSize(kClientWidth, kClientHeight);

    m_hintLabel = new QLabel(QStringLiteral("Choose file to delete"), this);
    m_hintLabel->setObjectName(QStringLiteral("Label1"));
    m_hintLabel->setGeometry(12, 8, 300, 20);

    m_filesTable = new QTableWidget(2, kColumns, this);
    m_filesTable->setObjectName(QStringLiteral("strGridDel"));
    m_filesTable->setGeometry(12, 32, kClientWidth - 24, 110);
    m_filesTable->setHorizontalHeaderLabels(
        {QStringLiteral(" Nr"), QStringLiteral(" Files path"), QStringLiteral(" Size"), QStringLiteral(" Date")});
    m_filesTable->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_filesTable->horizontalHeader()->setHighlightSections(false);
    m_filesTable->verticalHeader()->hide();
    m_filesTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_filesTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_filesTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab goes on to the buttons; the arrows choose the file.
    m_filesTable->setTabKeyNavigation(false);
    m_filesTable->setAccessibleName(QStringLiteral("Files of the pair"));
    m_filesTable->installEventFilter(this);
    m_filesTable->setWordWrap(false);
    m_filesTable->setTextElideMode(Qt::ElideMiddle);
    for (int column = 0; column < kColumns; ++column)
        m_filesTable->setColumnWidth(column, kColumnWidths[column]);

    m_removeButton = new QPushButton(QStringLiteral("&Delete "), this);
    m_removeButton->setObjectName(QStringLiteral("btnDelete"));
    m_removeButton->setGeometry(kClientWidth / 2 - 124, 152, 116, 32);
    m_removeButton->setAutoDefault(false);
    m_closeButton = new QPushButton(QStringLiteral("&Exit"), this);
    m_closeButton->setObjectName(QStringLiteral("btnClose"));
    m_closeButton->setGeometry(kClientWidth / 2 + 8, 152, 116, 32);
    m_closeButton->setAutoDefault(false);

    connect(m_removeButton, &QPushButton::clicked, this, reportingErrors(this, &PairDetailsDialog::removeChosenFile));
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_filesTable, &QTableWidget::cellDoubleClicked, this,
            reportingErrors(this, &PairDetailsDialog::openChosenFile));
    // The header row stands for no file: a double-click there opens the current row's.
    connect(m_filesTable->horizontalHeader(), &QHeaderView::sectionDoubleClicked, this,
            reportingErrors(this, &PairDetailsDialog::openChosenFile));
    connect(this, &QDialog::finished, this, reportingErrors(this, &PairDetailsDialog::emptyRows));
}

void PairDetailsDialog::showEvent(QShowEvent* event)
{
    // The window system's own show (the window mapped or restored) must not take back the row the user chose.
    if (!event->spontaneous())
        showPair();
    QDialog::showEvent(event);
}

bool PairDetailsDialog::eventFilter(QObject* watched, QEvent* event)
{
    // Enter on a row opens its file, as a double-click does, rather than closing the dialog.
    if (watched == m_filesTable && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
            runReportingErrors([this] { openChosenFile(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void PairDetailsDialog::setRow(int row, const QString& number, const QString& path, const QString& size,
                               const QString& date)
{
    const QString texts[kColumns] = {number, path, size, date};
    for (int column = 0; column < kColumns; ++column) {
        auto* item = new QTableWidgetItem(texts[column]);
        // The whole text shows on hover when the column's width elides it (long paths, wide dates and sizes).
        if (column > 0)
            item->setToolTip(texts[column]);
        m_filesTable->setItem(row, column, item);
    }
}

void PairDetailsDialog::fitSizeAndDate()
{
    // Size and date are read whole or not at all; the path column, which shows its text whole on hover, gives
    // up what they need beyond their usual widths. The view's own measure is taken: a text's width in pixels has
    // a fraction, and a width rounded down elides the text it was measured for.
    const QAbstractItemView& view = *m_filesTable;
    int extra = 0;
    for (const int column : {kColumnSize, kColumnDate}) {
        const int width = std::max(kColumnWidths[column], view.sizeHintForColumn(column));
        extra += width - kColumnWidths[column];
        m_filesTable->setColumnWidth(column, width);
    }
    m_filesTable->setColumnWidth(kColumnPath, kColumnWidths[kColumnPath] - extra);
}

void PairDetailsDialog::showPair()
{
    if (m_pair >= m_session.pairs().size())
        return;
    const FileRecord& pair = m_session.pairs()[m_pair];
    // A pair records one size and one date, those of the search; both rows show them.
    const QString size = sizeText(pair.size);
    const QString date = dateText(pair.date);
    setRow(kRowLocation1, QStringLiteral("1"), displayText(pair.path1()), size, date);
    setRow(kRowLocation2, QStringLiteral("2"), displayText(pair.path2()), size, date);
    fitSizeAndDate();
    m_filesTable->setCurrentCell(kRowLocation1, 0);
}

int PairDetailsDialog::chosenRow() const
{
    return m_filesTable->currentRow() == kRowLocation1 ? kRowLocation1 : kRowLocation2;
}

void PairDetailsDialog::removeChosenFile()
{
    const int row = chosenRow();
    const Side side = row == kRowLocation1 ? Side::Location1 : Side::Location2;
    DialogHost host(m_host, this);
    const std::optional<RemoveOutcome> outcome = m_session.removeOneFile(m_pair, side, host);
    if (outcome && *outcome != RemoveOutcome::StillPresent) {
        for (int column = 0; column < kColumns; ++column)
            if (QTableWidgetItem* item = m_filesTable->item(row, column))
                item->setText(QString());
    }
    accept();
}

void PairDetailsDialog::openChosenFile()
{
    const QTableWidgetItem* item = m_filesTable->item(chosenRow(), 1);
    // Whether a program could open it is not looked at: a failed open is silent.
    if (item && !item->text().isEmpty())
        fileOpener()(QUrl::fromLocalFile(item->text()));
}

void PairDetailsDialog::emptyRows()
{
    for (int row : {kRowLocation1, kRowLocation2})
        for (int column = 0; column < kColumns; ++column)
            if (QTableWidgetItem* item = m_filesTable->item(row, column))
                item->setText(QString());
}

} // namespace twinspotter
