// The "Not removed" box.
#include "ui/KeptFilesDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStyle>

namespace twinspotter {

namespace {

// Room for a deep path and a dozen files before the list scrolls.
constexpr int kInitialWidth = 720;
constexpr int kInitialHeight = 420;

} // namespace

KeptFilesDialog::KeptFilesDialog(const QString& summary, const QString& details, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("NotRemovedDialog"));
    setWindowTitle(QStringLiteral("Not removed"));
    setSizeGripEnabled(true);

    auto* icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(iconSize, iconSize));
    icon->setAlignment(Qt::AlignTop);

    // Paths and reasons come from the disk: never markup.
    auto* text = new QLabel(summary, this);
    text->setObjectName(QStringLiteral("NotRemovedSummary"));
    text->setTextFormat(Qt::PlainText);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    m_details = new QPlainTextEdit(details, this);
    m_details->setObjectName(QStringLiteral("NotRemovedDetails"));
    m_details->setAccessibleName(QStringLiteral("Files not removed"));
    m_details->setReadOnly(true);
    m_details->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0);
    layout->addWidget(text, 0, 1);
    layout->addWidget(m_details, 1, 0, 1, 2);
    layout->addWidget(buttons, 2, 0, 1, 2);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(1, 1);
    resize(kInitialWidth, kInitialHeight);
}

} // namespace twinspotter
