#pragma once
// The help window: the rich-text help document beside the program, or a
// note that it could not be found.
#include <QDialog>
#include <QString>

class QPushButton;
class QTextEdit;

class TdlgHelp : public QDialog
{
    Q_OBJECT
public:
    explicit TdlgHelp(QString programDir, QWidget *parent = nullptr);

    static QString helpFileName() { return QStringLiteral("QMHelp.rtf"); }
    static QString placeholderText();

    void FormShow();

    QTextEdit *RichEdit1; // the help document
    QPushButton *btnClose;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QString m_programDir;
};
