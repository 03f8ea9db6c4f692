// The "Not removed" box: what a removal left where it was, and why, with every file on a line of its own.
#pragma once

#include <QDialog>
#include <QString>

class QPlainTextEdit;

namespace twinspotter {

/// A warning with \p summary above the list \p details (one file a line, its reason on the line below), both plain
/// text. Resizable: the list takes what the dialog gains, and long paths scroll sideways instead of wrapping.
class KeptFilesDialog : public QDialog
{
    Q_OBJECT

public:
    KeptFilesDialog(const QString& summary, const QString& details, QWidget* parent = nullptr);

    QPlainTextEdit* details() const { return m_details; }

private:
    QPlainTextEdit* m_details = nullptr;
};

} // namespace twinspotter
