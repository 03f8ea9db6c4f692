// The detailed view of one duplicate pair and its removal of the chosen file.
#include "ui/TDetailedViewForm.h"

#include "core/FileRecord.h"
#include "ui/Dialogs.h"
#include "online/Postponement.h"

#include <QDate>
#include <QDesktopServices>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStyle>
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

TDetailedViewForm::FileOpener& fileOpener()
{
    static TDetailedViewForm::FileOpener opener = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    return opener;
}

QString displayText(const PathString& bytes)
{
    return QFile::decodeName(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

// The main window's host, except that the confirmation sits over this dialog rather than behind it.
class DialogHost : public CommandHost
{
public:
    DialogHost(CommandHost& main, QWidget* parent) : m_main(main), m_parent(parent) {}

    bool confirm(std::string_view question) override
    {
        return dialogs().confirm(m_parent, QString::fromUtf8(question.data(), qsizetype(question.size())));
    }
    void reportKept(const std::vector<KeptFile>& kept) override { showKeptFiles(m_parent, kept); }
    bool safetyTicked() const override { return m_main.safetyTicked(); }
    PathString safetyDirectory() const override { return m_main.safetyDirectory(); }
    bool trashTicked() const override { return m_main.trashTicked(); }

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
    return text + QLatin1Char(' ') + QString::fromLocal8Bit(time.data(), qsizetype(time.size()));
}

void TDetailedViewForm::setFileOpener(FileOpener opener)
{
    fileOpener() = opener ? std::move(opener) : [](const QUrl& url) { QDesktopServices::openUrl(url); };
}

TDetailedViewForm::TDetailedViewForm(SearchSession& session, CommandHost& host, QWidget* parent)
    : QDialog(parent), m_session(session), m_host(host)
{
    setObjectName(QStringLiteral("DetailedViewForm"));
    setWindowTitle(QStringLiteral("Detailed view"));
    setFixedSize(kClientWidth, kClientHeight);

    Label1 = new QLabel(QStringLiteral("Choose file to delete"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(12, 8, 300, 20);

    strGridDel = new QTableWidget(2, kColumns, this);
    strGridDel->setObjectName(QStringLiteral("strGridDel"));
    strGridDel->setGeometry(12, 32, kClientWidth - 24, 110);
    strGridDel->setHorizontalHeaderLabels(
        {QStringLiteral(" Nr"), QStringLiteral(" Files path"), QStringLiteral(" Size"), QStringLiteral(" Date")});
    strGridDel->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    strGridDel->horizontalHeader()->setHighlightSections(false);
    strGridDel->verticalHeader()->hide();
    strGridDel->setSelectionBehavior(QAbstractItemView::SelectRows);
    strGridDel->setSelectionMode(QAbstractItemView::SingleSelection);
    strGridDel->setEditTriggers(QAbstractItemView::NoEditTriggers);
    strGridDel->setWordWrap(false);
    strGridDel->setTextElideMode(Qt::ElideMiddle);
    for (int column = 0; column < kColumns; ++column)
        strGridDel->setColumnWidth(column, kColumnWidths[column]);

    btnDelete = new QPushButton(QStringLiteral("&Delete "), this);
    btnDelete->setObjectName(QStringLiteral("btnDelete"));
    btnDelete->setGeometry(kClientWidth / 2 - 124, 152, 116, 32);
    btnDelete->setAutoDefault(false);
    btnClose = new QPushButton(QStringLiteral("&Exit"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setGeometry(kClientWidth / 2 + 8, 152, 116, 32);
    btnClose->setAutoDefault(false);

    connect(btnDelete, &QPushButton::clicked, this, &TDetailedViewForm::btnDeleteClick);
    connect(btnClose, &QPushButton::clicked, this, &TDetailedViewForm::btnCloseClick);
    connect(strGridDel, &QTableWidget::cellDoubleClicked, this, &TDetailedViewForm::strGridDelDblClick);
    // The header row stands for no file: a double-click there opens the current row's.
    connect(strGridDel->horizontalHeader(), &QHeaderView::sectionDoubleClicked, this,
            &TDetailedViewForm::strGridDelDblClick);
    connect(this, &QDialog::finished, this, &TDetailedViewForm::FormClose);
}

void TDetailedViewForm::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TDetailedViewForm::setRow(int row, const QString& number, const QString& path, const QString& size,
                               const QString& date)
{
    const QString texts[kColumns] = {number, path, size, date};
    for (int column = 0; column < kColumns; ++column) {
        auto* item = new QTableWidgetItem(texts[column]);
        // The whole text shows on hover when the column's width elides it (long paths, wide dates and sizes).
        if (column > 0)
            item->setToolTip(texts[column]);
        strGridDel->setItem(row, column, item);
    }
}

void TDetailedViewForm::fitSizeAndDate(const QString& size, const QString& date)
{
    // Size and date are read whole or not at all; the path column, which shows its text whole on hover, gives
    // up what they need beyond their usual widths.
    const QFontMetrics metrics(strGridDel->font());
    const int margin =
        2 * (strGridDel->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, strGridDel) + 1) + 1;
    int extra = 0;
    for (const auto& [column, text] : {std::pair{kColumnSize, size}, std::pair{kColumnDate, date}}) {
        const int width = std::max(kColumnWidths[column], metrics.horizontalAdvance(text) + margin);
        extra += width - kColumnWidths[column];
        strGridDel->setColumnWidth(column, width);
    }
    strGridDel->setColumnWidth(kColumnPath, kColumnWidths[kColumnPath] - extra);
}

void TDetailedViewForm::FormShow()
{
    FileIndex = static_cast<std::int32_t>(m_session.detailedPair());
    const auto index = static_cast<std::size_t>(FileIndex);
    if (FileIndex < 0 || index >= m_session.pairs().size())
        return;
    const FileRecord& pair = m_session.pairs()[index];
    // A pair records one size and one date, those of the search; both rows show them.
    const QString size = sizeText(pair.size);
    const QString date = dateText(pair.date);
    setRow(kRowLocation1, QStringLiteral("1"), displayText(pair.path1()), size, date);
    setRow(kRowLocation2, QStringLiteral("2"), displayText(pair.path2()), size, date);
    fitSizeAndDate(size, date);
    strGridDel->setCurrentCell(kRowLocation1, 0);
}

void TDetailedViewForm::btnDeleteClick()
{
    const int row = strGridDel->currentRow() == kRowLocation1 ? kRowLocation1 : kRowLocation2;
    const Side side = row == kRowLocation1 ? Side::Location1 : Side::Location2;
    DialogHost host(m_host, this);
    const std::optional<RemoveOutcome> outcome =
        m_session.removeOneFile(static_cast<std::size_t>(FileIndex), side, host);
    if (outcome && *outcome != RemoveOutcome::StillPresent) {
        for (int column = 0; column < kColumns; ++column)
            if (QTableWidgetItem* item = strGridDel->item(row, column))
                item->setText(QString());
    }
    accept();
}

void TDetailedViewForm::btnCloseClick()
{
    reject();
}

void TDetailedViewForm::strGridDelDblClick()
{
    const int row = strGridDel->currentRow() == kRowLocation1 ? kRowLocation1 : kRowLocation2;
    const QTableWidgetItem* item = strGridDel->item(row, 1);
    // Whether a program could open it is not looked at: a failed open is silent.
    if (item && !item->text().isEmpty())
        fileOpener()(QUrl::fromLocalFile(item->text()));
}

void TDetailedViewForm::FormClose()
{
    for (int row : {kRowLocation1, kRowLocation2})
        for (int column = 0; column < kColumns; ++column)
            if (QTableWidgetItem* item = strGridDel->item(row, column))
                item->setText(QString());
}

} // namespace twinspotter
