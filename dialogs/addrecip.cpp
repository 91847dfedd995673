#include "dialogs/addrecip.h"

#include "core/Prompts.h"
#include "dialogs/FormScale.h"
#include "dialogs/sendmail.h"
#include "mail/Email.h"

#include <QApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <tuple>

namespace {

QPushButton *button(QWidget *parent, const char *name, const QString &caption, const QString &hint)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(hint);
    b->setAutoDefault(false);
    return b;
}

} // namespace

void removeSelectedOrPoint(QListWidget *list)
{
    const int row = list->currentRow();
    if (row < 0 || !list->item(row)->isSelected()) {
        QApplication::beep();
        if (list->count() > 0)
            list->setCurrentRow(0);
        list->setFocus();
        return;
    }
    delete list->takeItem(row);
    if (list->count() > 0)
        list->setCurrentRow(std::min(row, list->count() - 1));
}

QStringList listItems(const QListWidget *list)
{
    QStringList out;
    out.reserve(list->count());
    for (int i = 0; i < list->count(); ++i)
        out.append(list->item(i)->text());
    return out;
}

TdlgAddRecip::TdlgAddRecip(Prompts &prompts, QWidget *parent)
    : QDialog(parent)
    , m_prompts(prompts)
{
    setObjectName(QStringLiteral("dlgAddRecip"));
    setWindowTitle(QStringLiteral("Add Recipients"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *form = new QVBoxLayout(this);
    form->setContentsMargins(formscale::px(10), formscale::px(8), formscale::px(10), formscale::px(8));
    lblinfo = new QLabel(QStringLiteral("If you want all messages to also be sent to or CC'ed to a special address add "
                                        "it here (All other addresses will appear in the bcc: field so they will be "
                                        "invisible to recipients)"),
                         this);
    lblinfo->setWordWrap(true);
    form->addWidget(lblinfo);

    auto *grid = new QGridLayout;
    const QString addHint = QStringLiteral("Add address");
    const QString removeHint = QStringLiteral("Remove address");
    const QString bookHint = QStringLiteral("Open MAPI recipient dialog");
    ToButton = button(this, "ToButton", QStringLiteral("T&o..."), bookHint);
    Recipient = new QLineEdit(this);
    Recipient->setObjectName(QStringLiteral("Recipient"));
    btnToAdd = button(this, "btnToAdd", QStringLiteral(">>"), addHint);
    btnToRemove = button(this, "btnToRemove", QStringLiteral("<<"), removeHint);
    lbTo = new QListWidget(this);
    lbTo->setObjectName(QStringLiteral("lbTo"));
    CCButton = button(this, "CCButton", QStringLiteral("&CC..."), bookHint);
    CC = new QLineEdit(this);
    CC->setObjectName(QStringLiteral("CC"));
    btnCCAdd = button(this, "btnCCAdd", QStringLiteral(">>"), addHint);
    btnCCRemove = button(this, "btnCCRemove", QStringLiteral("<<"), removeHint);
    lbCC = new QListWidget(this);
    lbCC->setObjectName(QStringLiteral("lbCC"));
    int row = 0;
    for (auto [book, edit, add, remove, list] : {std::tuple{ToButton, Recipient, btnToAdd, btnToRemove, lbTo},
                                                 std::tuple{CCButton, CC, btnCCAdd, btnCCRemove, lbCC}}) {
        list->setSortingEnabled(true);
        list->installEventFilter(this);
        list->setMinimumHeight(formscale::px(50));
        for (QPushButton *b : {add, remove})
            b->setFixedWidth(formscale::px(30));
        auto *arrows = new QVBoxLayout;
        arrows->addWidget(add);
        arrows->addWidget(remove);
        arrows->addStretch(1);
        grid->addWidget(book, row, 0, Qt::AlignTop);
        grid->addWidget(edit, row, 1, Qt::AlignTop);
        grid->addLayout(arrows, row, 2);
        grid->addWidget(list, row, 3);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    form->addLayout(grid, 1);

    auto *buttons = new QHBoxLayout;
    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    BitBtn1->setMinimumSize(formscale::size(75, 25));
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    form->addLayout(buttons);

    setFixedSize(minimumSizeHint().expandedTo(formscale::size(462, 217)));
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Recipient, &QLineEdit::editingFinished, this, [this] { RecipientExit(Recipient); });
    connect(CC, &QLineEdit::editingFinished, this, [this] { RecipientExit(CC); });
    for (QPushButton *b : {btnToAdd, btnCCAdd})
        connect(b, &QPushButton::clicked, this, [this, b] { btnToAddClick(b); });
    for (QPushButton *b : {btnToRemove, btnCCRemove})
        connect(b, &QPushButton::clicked, this, [this, b] { btnToRemoveClick(b); });
    connect(ToButton, &QPushButton::clicked, this, &TdlgAddRecip::ToButtonClick);
    connect(CCButton, &QPushButton::clicked, this, &TdlgAddRecip::ToButtonClick);
}

void TdlgAddRecip::RecipientExit(QLineEdit *edit)
{
    if (edit->text().isEmpty() || !m_send)
        return;
    const QString typed = edit->text();
    edit->clear();
    const QString resolved = m_send->resolve(typed);
    if (!resolved.isEmpty())
        (edit == CC ? lbCC : lbTo)->addItem(resolved);
}

void TdlgAddRecip::btnToAddClick(QPushButton *button)
{
    RecipientExit(button == btnCCAdd ? CC : Recipient);
}

void TdlgAddRecip::btnToRemoveClick(QPushButton *button)
{
    removeSelectedOrPoint(button == btnCCRemove ? lbCC : lbTo);
}

void TdlgAddRecip::lbToKeyDown(QListWidget *list)
{
    removeSelectedOrPoint(list);
}

bool TdlgAddRecip::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == lbTo || watched == lbCC) && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
        lbToKeyDown(static_cast<QListWidget *>(watched));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TdlgAddRecip::ToButtonClick()
{
    if (!m_send)
        return;
    TEmail &email = *m_send->Email1;
    email.setRecipient(listItems(lbTo));
    email.setCC(listItems(lbCC));
    email.setBcc(listItems(m_send->lbBCC));
    try {
        email.OpenAddressBook();
    } catch (const std::exception &e) {
        m_prompts.error(QString::fromUtf8(e.what()));
        return;
    }
    for (auto [list, names] :
         {std::pair{lbTo, email.Recipient()}, std::pair{lbCC, email.CC()}, std::pair{m_send->lbBCC, email.Bcc()}}) {
        list->clear();
        list->addItems(names);
    }
}
