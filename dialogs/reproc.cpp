#include "dialogs/reproc.h"

#include "dialogs/FormScale.h"
#include "store/ErrorLine.h"

#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

Tdlgreprocess::Tdlgreprocess(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("dlgreprocess"));
    setWindowTitle(QStringLiteral("Reprocess Entry"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *form = new QVBoxLayout(this);
    form->addWidget(new QLabel(QStringLiteral("Action:"), this));
    rdbadd = new QRadioButton(QStringLiteral("Add E-mail Address"), this);
    rdbadd->setObjectName(QStringLiteral("rdbadd"));
    rdbadd->setChecked(true);
    rdbremove = new QRadioButton(QStringLiteral("Remove E-mail Address"), this);
    rdbremove->setObjectName(QStringLiteral("rdbremove"));
    form->addWidget(rdbadd);
    form->addWidget(rdbremove);

    auto *fields = new QFormLayout;
    edtemail = new QLineEdit(this);
    edtemail->setObjectName(QStringLiteral("edtemail"));
    edtcategory = new QLineEdit(this);
    edtcategory->setObjectName(QStringLiteral("edtcategory"));
    fields->addRow(QStringLiteral("E-mail"), edtemail);
    fields->addRow(QStringLiteral("Category"), edtcategory);
    form->addLayout(fields);
    form->addStretch(1);

    auto *buttons = new QHBoxLayout;
    btnok = new QPushButton(QStringLiteral("OK"), this);
    btnok->setObjectName(QStringLiteral("btnok"));
    btnok->setDefault(true);
    btnok->setEnabled(false);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    for (QPushButton *b : {btnok, btnCancel})
        b->setMinimumSize(formscale::size(75, 25));
    buttons->addStretch(1);
    buttons->addWidget(btnok);
    buttons->addWidget(btnCancel);
    form->addLayout(buttons);

    setFixedSize(sizeHint().expandedTo(formscale::size(268, 190)));
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    connect(edtemail, &QLineEdit::textChanged, this, &Tdlgreprocess::edtemailChange);
    connect(btnok, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void Tdlgreprocess::showLine(const QString &errorLine)
{
    const ErrorRequest request = parseErrorLine(errorLine);
    (request.add ? rdbadd : rdbremove)->setChecked(true);
    edtemail->setText(request.address);
    edtcategory->setText(request.category);
    edtemailChange();
}

void Tdlgreprocess::edtemailChange()
{
    btnok->setEnabled(!edtemail->text().isEmpty());
}
