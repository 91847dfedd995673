#pragma once
// The main window: the list grid with its filter, count and sort choice,
// the command buttons and menus.
#include "commands/CategoryView.h"
#include "dialogs/progress.h"

#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <memory>

struct AppContext;
class EntryTableModel;
class ListCommands;
class WorkingFiles;
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
    void Panel2Resize(); // the list panel resized
    // The grid's own keyboard delete, confirmed first.
    void DBGrid1DeleteKey(); // Delete pressed in the grid

    // List commands of the menus.
    void DeleteRecord1Click();
    void mkaddtoneverClick();
    void ResetBounceCount1Click();
    void ResetBounceCountforallEntries1Click();
    void DeleteAllEntries1Click();
    void SaveBackUpFile1Click();
    void mkAllowEditingClick();
    void ExportMailingListEntries1Click();
    // Options, log, errors, about and help; the first three live for the whole run.
    void Options1Click();
    void DisplayErrors1Click();
    void DisplayLog1Click();
    void About1Click();
    void btnHelpClick();
    class Tdlgoptions *dlgoptions = nullptr;
    class Tdlglog *dlglog = nullptr;
    class Tdlgerrors *dlgerrors = nullptr;
    void showprogress(bool show, int position, int total, const QString &message);
    // The progress window's Cancel, as long jobs ask it.
    StopQuery progressStop() { return m_progress.stopQuery(); }
    // Who sends the Outbox: the menu command, the end of a mailing, or the
    // start and the retries, which put what went wrong in the log and the
    // status bar rather than in a box, and ask the user nothing.
    enum class OutboxRun { Asked, AfterMailing, Automatic };
    // Sends the Outbox as the settings say.
    void sendOutbox(OutboxRun run);
    bool validemailaddress(const QString &address) const;

    // The folder check, run between hold and release of the display.
    void setFolderCheck(std::function<void()> check);

    AppContext &context() { return m_context; }

    // Controls, named as the rest of the program refers to them.
    QFrame *Panel1; // the command buttons
    QFrame *Panel2; // the list panel
    QFrame *Panel3; // "Display All Entries" / "Filter Entries with the Category:"
    QFrame *Panel4; // the record count and the order
    QGroupBox *GroupBox1; // "Mailing List"
    QPushButton *btngetoutlook;
    QPushButton *btnAddMore;
    QPushButton *btnsend;
    QPushButton *BitBtn1; // "Close"
    QPushButton *btnHelp;
    QRadioButton *rdball;
    QRadioButton *rdbfilter;
    QLineEdit *edtfilter;
    TEntryGrid *DBGrid1; // the list grid
    QLabel *lblcount;
    QComboBox *cmbsort;
    QTimer Timer1; // the automatic check
    QMenu *PopupMenu1; // the grid's pop-up menu
    QAction *mnuCheckOutlook;
    QAction *mnuExit;
    QAction *mnuSend;
    QAction *mnuSendOutbox;
    QAction *mnuAddMore;
    QAction *ScanOutlookFoldersforemailaddresses1;
    QAction *ImportMailingListEntries1;
    QAction *ExportMailingListEntries1;
    QAction *SaveBackUpFile1;
    QAction *DeleteRecord1;
    QAction *mkaddtonever;
    QAction *mkAllowEditing;
    QAction *ResetBounceCountforallEntries1;
    QAction *DeleteAllEntries1;
    QAction *Options1;
    QAction *DisplayErrors1;
    QAction *DisplayLog1;
    QAction *mnuHelp;
    QAction *About1;
    QAction *ResetBounceCount1;
    QAction *mkaddtonever2;
    QAction *DeleteEntry1;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Holds the display for as long as it lives.
    class DisplayHold
    {
    public:
        explicit DisplayHold(Tfrmmain &w)
            : m_w(w)
        {
            m_w.newformpreparation(true);
        }
        ~DisplayHold() { m_w.newformpreparation(false); }
        DisplayHold(const DisplayHold &) = delete;
        DisplayHold &operator=(const DisplayHold &) = delete;

    private:
        Tfrmmain &m_w;
    };

    void runFolderCheck();
    // At start: a mailing that was broken off, resumed or forgotten.
    void offerMailingResume();
    void buildControls();
    void buildMenus();
    void connectCommands();
    void connectAuxCommands();
    void connectIntakeCommands();
    void connectSendCommands();
    // The grid's selected row becomes the table's current record.
    void syncCurrent();

    AppContext &m_context;
    EntryTableModel *m_model;
    ProgressDisplay m_progress;
    std::unique_ptr<ListCommands> m_commands;
    CategoryView m_view;
    std::function<void()> m_folderCheck;
    std::unique_ptr<WorkingFiles> m_files;
    bool m_shown = false;
    // The Outbox's retries while the program runs; the server refused the
    // password kept, so the next send the user starts asks for one.
    QTimer m_outboxRetry;
    int m_outboxRetries = 0;
    bool m_smtpPasswordRefused = false;
};
