#include "dialogs/sendmail.h"

#include "core/LockedFiles.h"
#include "core/Prompts.h"
#include "core/Settings.h"
#include "dialogs/FormScale.h"
#include "dialogs/WaitCursor.h"
#include "dialogs/addrecip.h"
#include "mail/Email.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include <type_traits>
#include <utility>

namespace {

template<typename W> W *named(W *widget, const char *name, const QString &hint = {})
{
    widget->setObjectName(QString::fromLatin1(name));
    if (!hint.isEmpty())
        widget->setToolTip(hint);
    if constexpr (std::is_same_v<W, QPushButton>)
        widget->setAutoDefault(false);
    return widget;
}

} // namespace

TdlgSendMail::TdlgSendMail(MLTable &table, const SMapi &mapi, const Settings &settings, Prompts &prompts,
                           ProgressFn progress, TdlgAddRecip &addRecip, QWidget *parent)
    : QDialog(parent)
    , Email1(std::make_unique<TEmail>(mapi))
    , m_settings(settings)
    , m_prompts(prompts)
    , m_progress(std::move(progress))
    , m_addRecip(addRecip)
    , m_view(table)
    , m_mailing(table, settings, *Email1, prompts)
    , m_savedFilter(table)
{
    setObjectName(QStringLiteral("dlgSendMail"));
    setWindowTitle(QStringLiteral("Send message to your mailing list"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    buildControls();
    Email1->setDownLoadFirst(true);
    Email1->setNewSession(false);
    Email1->setUnreadOnly(true);
    Email1->setUseDefProfile(true);
    setCallbacks({});
}

void TdlgSendMail::setCallbacks(StopQuery stop)
{
    m_mailing.setCallbacks(
        {m_progress, [] { QApplication::processEvents(); },
         [this](const QString &question) { return m_prompts.confirm(question) == Prompts::Answer::Yes; },
         std::move(stop)});
}

void TdlgSendMail::setStopQuery(StopQuery stop)
{
    setCallbacks(std::move(stop));
}

void TdlgSendMail::FormCreate()
{
    m_mailing.logOn();
}

TdlgSendMail::~TdlgSendMail()
{
    m_mailing.logOff();
}

void TdlgSendMail::buildControls()
{
    auto *form = new QVBoxLayout(this);
    form->setContentsMargins(formscale::px(8), formscale::px(6), formscale::px(8), formscale::px(6));

    Instructions = named(new QGroupBox(QStringLiteral("Message Recipients"), this), "Instructions");
    auto *who = new QGridLayout(Instructions);
    rdball = named(new QRadioButton(QStringLiteral("Send to all mailing list entries"), Instructions), "rdball",
                   QStringLiteral("The message will be sent to every address in your mailing list"));
    rdball->setChecked(true);
    rdbfilter
        = named(new QRadioButton(QStringLiteral("Limit by the following Category Filter:"), Instructions), "rdbfilter",
                QStringLiteral("The message will only be sent to the address with the category specified here"));
    edtfilter
        = named(new QLineEdit(Instructions), "edtfilter", QStringLiteral("Enter the category to filter entries by"));
    lblcount = named(new QLabel(QStringLiteral("O Records"), Instructions), "lblcount");
    btnrecalc = named(new QPushButton(QStringLiteral("Calculate Unique Recipient Count"), Instructions), "btnrecalc",
                      QStringLiteral("Quillmar automatically removes duplicated addresses.  Click this button to "
                                     "recalculate the number of unique recipients for this message"));
    btnrecalc->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    btnrecalc->setDefault(true);
    who->addWidget(rdball, 0, 0);
    who->addWidget(lblcount, 0, 1, Qt::AlignRight);
    who->addWidget(rdbfilter, 1, 0);
    who->addWidget(edtfilter, 1, 1);
    who->addWidget(btnrecalc, 2, 1, Qt::AlignRight);
    lblresume = named(new QLabel(Instructions), "lblresume");
    lblresume->hide();
    who->addWidget(lblresume, 3, 0, 1, 2);
    who->setColumnStretch(1, 1);
    form->addWidget(Instructions);

    // Never shown: the draft's own blind copies, as the address book gives them.
    BCCButton = named(new QPushButton(QStringLiteral("&BCC..."), this), "BCCButton");
    BCC = named(new QLineEdit(this), "BCC");
    btnBCCAdd = named(new QPushButton(QStringLiteral(">>"), this), "btnBCCAdd");
    btnBCCRemove = named(new QPushButton(QStringLiteral("<<"), this), "btnBCCRemove");
    lbBCC = named(new QListWidget(this), "lbBCC");
    for (QWidget *w : std::initializer_list<QWidget *>{BCCButton, BCC, btnBCCAdd, btnBCCRemove, lbBCC})
        w->hide();

    GroupBox1 = named(new QGroupBox(QStringLiteral("Message"), this), "GroupBox1");
    auto *message = new QGridLayout(GroupBox1);
    edtMessageSubject
        = named(new QLineEdit(GroupBox1), "edtMessageSubject", QStringLiteral("The subject of the message"));
    edtMessageSubject->setMaxLength(int(TEmail::ShortStringLength));
    auto *subjectLabel = new QLabel(QStringLiteral("Subject:"), GroupBox1);
    subjectLabel->setBuddy(edtMessageSubject);
    edtMessageText = named(new QPlainTextEdit(GroupBox1), "edtMessageText", QStringLiteral("The body of your message"));
    edtMessageText->setTabChangesFocus(true);
    edtMessageText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto *textLabel = new QLabel(QStringLiteral("Message &Text:"), GroupBox1);
    textLabel->setBuddy(edtMessageText);
    AttachButton = named(new QPushButton(QStringLiteral("&Attach..."), GroupBox1), "AttachButton",
                         QStringLiteral("Select file(s) to attach to your message"));
    Attach = named(new QLineEdit(GroupBox1), "Attach");
    btnAttachAdd = named(new QPushButton(QStringLiteral(">>"), GroupBox1), "btnAttachAdd", QStringLiteral("Add file"));
    btnAttachRemove
        = named(new QPushButton(QStringLiteral("<<"), GroupBox1), "btnAttachRemove", QStringLiteral("Remove file"));
    lbAttach = named(new QListWidget(GroupBox1), "lbAttach");
    lbAttach->setMaximumHeight(formscale::px(60));
    for (QPushButton *b : {btnAttachAdd, btnAttachRemove})
        b->setFixedWidth(formscale::px(30));
    message->addWidget(subjectLabel, 0, 0);
    message->addWidget(edtMessageSubject, 0, 1, 1, 4);
    message->addWidget(textLabel, 1, 0, Qt::AlignTop);
    message->addWidget(edtMessageText, 1, 1, 1, 4);
    auto *arrows = new QVBoxLayout;
    arrows->addWidget(btnAttachAdd);
    arrows->addWidget(btnAttachRemove);
    arrows->addStretch(1);
    message->addWidget(AttachButton, 2, 0, Qt::AlignTop);
    message->addWidget(Attach, 2, 1, Qt::AlignTop);
    message->addLayout(arrows, 2, 2);
    message->addWidget(lbAttach, 2, 3, 1, 2);
    message->setColumnStretch(1, 1);
    message->setColumnStretch(3, 1);
    message->setRowStretch(1, 1);
    form->addWidget(GroupBox1, 1);

    auto *buttons = new QHBoxLayout;
    BitBtn2 = named(new QPushButton(QStringLiteral("Add &Recipients to all Sent Messages.."), this), "BitBtn2",
                    QStringLiteral("Allows you to specify extra recipients that will be added to all messages sent"));
    btnsendtest
        = named(new QPushButton(QStringLiteral("Send Te&st Message"), this), "btnsendtest",
                QStringLiteral("Sent a single copy of this message to the address specified in 'Add Recipients'"));
    btnsendbulk = named(new QPushButton(QStringLiteral("Send Message to &List"), this), "btnsendbulk",
                        QStringLiteral("Commences creation of messages to your mailing list.  They will appear in your "
                                       "Outlook Outbox"));
    BitBtn1 = named(new QPushButton(QStringLiteral("Cancel"), this), "BitBtn1");
    buttons->addWidget(new QLabel(QStringLiteral("Optional:"), this));
    buttons->addWidget(BitBtn2);
    buttons->addStretch(1);
    for (QPushButton *b : {btnsendtest, btnsendbulk, BitBtn1}) {
        b->setMinimumHeight(formscale::px(25));
        buttons->addWidget(b);
    }
    form->addLayout(buttons);

    setFixedSize(minimumSizeHint().expandedTo(formscale::size(694, 510)));
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    connect(rdball, &QRadioButton::clicked, this, &TdlgSendMail::rdballClick);
    connect(rdbfilter, &QRadioButton::clicked, this, &TdlgSendMail::rdballClick);
    connect(edtfilter, &QLineEdit::textChanged, this, &TdlgSendMail::edtfilterChange);
    connect(btnrecalc, &QPushButton::clicked, this, &TdlgSendMail::btnrecalcClick);
    connect(btnsendtest, &QPushButton::clicked, this, &TdlgSendMail::SendClick);
    connect(btnsendbulk, &QPushButton::clicked, this, &TdlgSendMail::Button2Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TdlgSendMail::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TdlgSendMail::BitBtn2Click);
    connect(AttachButton, &QPushButton::clicked, this, &TdlgSendMail::AttachButtonClick);
    connect(Attach, &QLineEdit::editingFinished, this, &TdlgSendMail::AttachExit);
    connect(btnAttachAdd, &QPushButton::clicked, this, [this] { btnAddClick(btnAttachAdd); });
    connect(btnBCCAdd, &QPushButton::clicked, this, [this] { btnAddClick(btnBCCAdd); });
    connect(btnAttachRemove, &QPushButton::clicked, this, [this] { btnRemoveClick(btnAttachRemove); });
    connect(BCC, &QLineEdit::editingFinished, this, [this] { RecipientExit(BCC); });
}

void TdlgSendMail::setMainFilter(bool filtered, const QString &category)
{
    m_mainFiltered = filtered;
    m_mainCategory = category;
}

void TdlgSendMail::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TdlgSendMail::FormShow()
{
    edtfilter->setText(m_mainCategory);
    edtfilterChange();
    rdbfilter->setChecked(m_mainFiltered);
    rdball->setChecked(!m_mainFiltered);
    rdballClick();
}

void TdlgSendMail::rdballClick()
{
    m_view.setFilter(edtfilter->text(), rdbfilter->isChecked());
    lblcount->setText(m_view.countText());
    btnrecalc->setEnabled(true);
    m_mailing.forgetRecipients();
}

void TdlgSendMail::edtfilterChange()
{
    rdballClick();
}

void TdlgSendMail::BitBtn1Click()
{
    m_mailing.requestStop();
    QApplication::beep();
    // While sending, the loop asks whether to stop; the dialog stays.
    if (!sending())
        reject();
}

void TdlgSendMail::BitBtn2Click()
{
    m_addRecip.exec();
}

void TdlgSendMail::keyPressEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Escape) {
        QDialog::keyPressEvent(event);
        return;
    }
    if (sending()) {
        m_mailing.requestStop();
        return;
    }
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const bool leave = m_prompts.confirm(QStringLiteral("Are you sure that you want to close and leave this form?"))
                       == Prompts::Answer::Yes;
    QApplication::restoreOverrideCursor();
    if (leave)
        reject();
}

void TdlgSendMail::closeEvent(QCloseEvent *event)
{
    if (sending()) {
        m_mailing.requestStop();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TdlgSendMail::done(int result)
{
    if (sending()) {
        m_mailing.requestStop();
        return;
    }
    FormClose();
    QDialog::done(result);
}

void TdlgSendMail::FormClose()
{
    // The main window's filter as it was, so its grid and count agree.
    m_savedFilter.restore();
}

void TdlgSendMail::AttachButtonClick()
{
    const QString file
        = m_prompts.openFileName(QStringLiteral("Attach File"), QStringLiteral("All Files (*)"), QStringLiteral("*.*"));
    addAttachment(file);
}

void TdlgSendMail::addAttachment(const QString &file)
{
    if (file.isEmpty())
        return;
    if (lockedfiles::contains(file)) {
        m_prompts.warning(lockedfiles::reason(file)
                          + QStringLiteral(" It cannot be attached while the program uses it; attach a copy instead."));
        return;
    }
    lbAttach->addItem(file);
}

void TdlgSendMail::AttachExit()
{
    if (Attach->text().isEmpty())
        return;
    const QString typed = Attach->text();
    Attach->clear();
    // Paths are not cut: a cut path could name another file.
    const QString full = QFileInfo(typed).absoluteFilePath();
    if (!Email1->CheckAttachment(full).isEmpty())
        addAttachment(full);
    else
        addAttachment(m_prompts.openFileName(QStringLiteral("Attach File"), QStringLiteral("All Files (*)"), typed));
    Attach->setFocus();
}

void TdlgSendMail::btnAddClick(QPushButton *button)
{
    if (button == btnBCCAdd)
        RecipientExit(BCC);
}

void TdlgSendMail::btnRemoveClick(QPushButton *button)
{
    if (button == btnAttachRemove)
        removeSelectedOrPoint(lbAttach);
}

void TdlgSendMail::RecipientExit(QLineEdit *edit)
{
    if (edit != BCC || BCC->text().isEmpty())
        return;
    const QString typed = BCC->text();
    BCC->clear();
    const QString resolved = resolve(typed);
    if (!resolved.isEmpty())
        lbBCC->addItem(resolved);
}

void TdlgSendMail::btnrecalcClick()
{
    if (sending())
        return;
    WaitCursor wait;
    if (!m_mailing.countRecipients())
        return;
    lblcount->setText(QString::number(m_mailing.recipients().size()) + QStringLiteral(" Unique Recipients"));
    btnrecalc->setEnabled(false);
}

MessageDraft TdlgSendMail::draft() const
{
    MessageDraft d;
    d.to = listItems(m_addRecip.lbTo);
    d.cc = listItems(m_addRecip.lbCC);
    d.bcc = listItems(lbBCC);
    d.attachments = listItems(lbAttach);
    d.subject = edtMessageSubject->text();
    d.text = edtMessageText->toPlainText();
    // Every message asks for the receipt the options (or the resumed
    // mailing) ask for, not only the first.
    d.receipt = m_receipt.value_or(m_settings.Acknowledge);
    return d;
}

void TdlgSendMail::showDraft(const MessageDraft &draft)
{
    edtMessageSubject->setText(draft.subject);
    edtMessageText->setPlainText(draft.text);
    for (auto [list, items] : {std::pair{lbAttach, draft.attachments}, std::pair{m_addRecip.lbTo, draft.to},
                               std::pair{m_addRecip.lbCC, draft.cc}, std::pair{lbBCC, draft.bcc}}) {
        list->clear();
        list->addItems(items);
    }
    m_receipt = draft.receipt;
}

void TdlgSendMail::clearBlindCopies()
{
    BCC->clear();
    lbBCC->clear();
}

void TdlgSendMail::SendClick()
{
    if (sending())
        return;
    const MessageDraft test = draft();
    // Without a recipient the mail system would only file it as a draft.
    const QStringList to = test.to + test.cc + test.bcc;
    if (to.isEmpty()) {
        m_prompts.information(QStringLiteral("The test message was not sent: it has no recipient. Add one with \"Add "
                                             "Recipients to all Sent Messages..\" or as a blind copy first."));
        return;
    }
    if (!m_mailing.sendTest(test))
        return;
    m_prompts.information(QStringLiteral("Your test message to %1 has been sent to your Outlook Outbox.")
                              .arg(to.join(QStringLiteral(", "))));
    clearBlindCopies();
    Attach->clear();
    lbAttach->clear();
}

void TdlgSendMail::showResumePoint()
{
    const QString after = m_mailing.resumeAfter();
    lblresume->setText(QStringLiteral("Sending goes on after %1 (%2 addresses done).")
                           .arg(after, QString::number(m_mailing.placedBefore())));
    lblresume->setVisible(!after.isEmpty());
}

void TdlgSendMail::resume(const MailingRecord &record)
{
    showDraft(m_mailing.resume(record));
    setMainFilter(!record.category.isEmpty(), record.category);
    showResumePoint();
}

void TdlgSendMail::Button2Click()
{
    if (sending())
        return;
    // Logged on before the count, which the window shows: a send that
    // cannot log on leaves the window as it was.
    if (!m_mailing.logOn())
        return;
    if (!m_mailing.counted())
        btnrecalcClick();
    const Mailing::Outcome outcome = m_mailing.send(draft());
    if (outcome == Mailing::Outcome::NotStarted)
        return;
    clearBlindCopies();
    showResumePoint();
    if (outcome != Mailing::Outcome::Failed)
        accept();
}
