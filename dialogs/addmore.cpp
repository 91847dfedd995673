#include "dialogs/addmore.h"

#include "core/Prompts.h"
#include "dialogs/FormScale.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TdlgEnterMore::TdlgEnterMore(ListWorkspace &workspace, Prompts &prompts, ProgressFn progress, QWidget *parent)
    : QDialog(parent)
    , ProcessModes(workspace, prompts, std::move(progress))
{
    setObjectName(QStringLiteral("dlgEnterMore"));
    setWindowTitle(QStringLiteral("Enter Addresses"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *form = new QVBoxLayout(this);
    form->setContentsMargins(formscale::px(12), formscale::px(10), formscale::px(12), formscale::px(10));
    auto *intro = new QLabel(QStringLiteral("Please enter the e-mail addresses you would like to process (you can use "
                                            "Ctrl+X, Ctrl+C and Ctrl+V to cut, copy or paste entries, respectively):"),
                             this);
    intro->setWordWrap(true);
    form->addWidget(intro);
    memin = new QPlainTextEdit(this);
    memin->setObjectName(QStringLiteral("memin"));
    memin->setLineWrapMode(QPlainTextEdit::NoWrap);
    memin->setAccessibleName(QStringLiteral("Addresses to process"));
    // Tab moves on, so a keyboard user is not kept in the field.
    memin->setTabChangesFocus(true);
    memin->setMinimumHeight(formscale::px(150));
    form->addWidget(memin, 1);

    buildModes(this, this, form, QStringLiteral("How should these addresses be processed?"));

    addProcessButtons(this, form, btnProcessAll, btnClose);

    resize(formscale::size(400, 480));
    setFixedSize(sizeHint().expandedTo(formscale::size(400, 480)));
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    connect(btnProcessAll, &QPushButton::clicked, this, &TdlgEnterMore::btnProcessAllClick);
    connect(btnClose, &QPushButton::clicked, this, &TdlgEnterMore::reject);
}

void TdlgEnterMore::btnProcessAllClick()
{
    // Lines that could not be stored, or were not reached, stay to be dealt with.
    if (const auto left = processLines(memin->toPlainText().split(QLatin1Char('\n')), commentPrefix()))
        memin->setPlainText(left->join(QLatin1Char('\n')));
}

bool TdlgEnterMore::FormCloseQuery()
{
    return mayClose(memin->toPlainText());
}

void TdlgEnterMore::reject()
{
    if (FormCloseQuery())
        QDialog::reject();
}
