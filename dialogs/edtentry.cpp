#include "dialogs/edtentry.h"

#include "dialogs/FormScale.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

Tdlgeditentries::Tdlgeditentries(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("dlgeditentries"));
    setWindowTitle(QStringLiteral("Edit Entries"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *form = new QVBoxLayout(this);
    Label1 = new QLabel(QStringLiteral("Please enter your entries here.  Each entry must be on a new line.  You can "
                                       "use Ctrl+X, Ctrl+C or Ctrl+V to cut, copy or paste respectively."),
                        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    form->addWidget(Label1);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Tab moves on, so a keyboard user is not kept in the field.
    Memo1->setTabChangesFocus(true);
    form->addWidget(Memo1, 1);

    auto *buttons = new QHBoxLayout;
    btnOK = new QPushButton(QStringLiteral("&OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    for (QPushButton *b : {btnOK, btnCancel}) {
        b->setMinimumSize(formscale::size(75, 25));
        b->setAutoDefault(false);
    }
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    form->addLayout(buttons);
    resize(formscale::size(424, 334));

    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}
