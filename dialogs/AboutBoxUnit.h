#pragma once
// The about box: product, version, where updates appear and how to reach the maker.
#include <QDialog>
#include <QUrl>

#include <functional>

class QLabel;
class QPushButton;

class TAboutBox : public QDialog
{
    Q_OBJECT
public:
    // showHelp opens the help window above this box.
    explicit TAboutBox(std::function<void()> showHelp, QWidget *parent = nullptr);

    static QUrl homePage();
    static QUrl salesMail();

    void FormShow();
    void lblvarnelClick();
    void lblemailClick();
    void BitBtn1Click(); // "Help"

    QLabel *ProductName;
    QLabel *lblversion;
    QLabel *lblvarnel;
    QLabel *lblemail;
    QPushButton *OKbtn;
    QPushButton *BitBtn1; // "Help"

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<void()> m_showHelp;
};
