#pragma once
// The main window: the list grid with its filter, count and sort choice,
// the command buttons and menus.
#include "dialogs/progress.h"

#include <QMainWindow>
#include <QTimer>

#include <functional>

struct AppContext;
class EntryTableModel;
class TEntryGrid;
class QAction;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;

class Tfrmmain : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int AutoScanDelayMs = 350;

    explicit Tfrmmain(AppContext &context, QWidget *parent = nullptr);
    ~Tfrmmain() override;

    static QString title() { return QStringLiteral("Quillmar for Microsoft Outlook"); }

    // Computes the program directory from the executable's path.
    void FormCreate(const QString &executablePath);
    void FormShow();
    // Writes the log and the error list; false when the user chose to stay.
    bool FormClose();

    void btngetoutlookClick();
    void rdballClick();
    void edtfilterChange();
    void cmbsortChange();
    void newformpreparation(bool hold);
    void Panel2Resize();
    // The grid's own keyboard delete, confirmed first.
    void DBGrid1DeleteKey();
    void showprogress(bool show, int position, int total, const QString &message);
    bool validemailaddress(const QString &address) const;

    // The folder check, run between hold and release of the display.
    void setFolderCheck(std::function<void()> check);

    AppContext &context() { return m_context; }

    // Controls, named as the rest of the program refers to them.
    QFrame *Panel1;
    QFrame *Panel2;
    QFrame *Panel3;
    QFrame *Panel4;
    QGroupBox *GroupBox1;
    QPushButton *btngetoutlook;
    QPushButton *btnAddMore;
    QPushButton *btnsend;
    QPushButton *BitBtn1;
    QPushButton *btnHelp;
    QRadioButton *rdball;
    QRadioButton *rdbfilter;
    QLineEdit *edtfilter;
    TEntryGrid *DBGrid1;
    QLabel *lblcount;
    QComboBox *cmbsort;
    QTimer Timer1;
    QMenu *PopupMenu1;
    QAction *mnuCheckOutlook;
    QAction *mnuExit;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void runFolderCheck();
    void buildControls();
    void buildMenus();
    void loadWorkingFile(const QString &fileName, bool isLog);
    bool saveWorkingFile(const QString &fileName, bool isLog);

    AppContext &m_context;
    EntryTableModel *m_model;
    ProgressDisplay m_progress;
    std::function<void()> m_folderCheck;
    bool m_shown = false;
    // A file that existed but could not be read is not replaced at close.
    bool m_logUnreadable = false;
    bool m_errorsUnreadable = false;
};
