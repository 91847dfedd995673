#include "dialogs/Import.h"

#include "core/Prompts.h"
#include "dialogs/FormScale.h"
#include "dialogs/WaitCursor.h"
#include "store/Importfile.h"
#include "store/ListWorkspace.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

TdlgImport::TdlgImport(ListWorkspace &workspace, Prompts &prompts, ProgressFn progress, QWidget *parent)
    : QDialog(parent)
    , ProcessModes(workspace, prompts, std::move(progress))
{
    setObjectName(QStringLiteral("dlgImport"));
    setWindowTitle(QStringLiteral("Import E-mail Addresses"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *form = new QVBoxLayout(this);
    form->setContentsMargins(formscale::px(12), formscale::px(10), formscale::px(12), formscale::px(10));
    auto *pick = new QLabel(QStringLiteral("Please select a text file to import into your database:"), this);
    pick->setWordWrap(true);
    form->addWidget(pick);
    auto *fileRow = new QHBoxLayout;
    edtfile = new QLineEdit(this);
    edtfile->setObjectName(QStringLiteral("edtfile"));
    edtfile->setToolTip(QStringLiteral("The filename the entries will be loaded from"));
    edtfile->setReadOnly(true);
    btnbrowse = new QPushButton(QStringLiteral("&Browse.."), this);
    btnbrowse->setObjectName(QStringLiteral("btnbrowse"));
    btnbrowse->setToolTip(QStringLiteral("Click here to browse for a file to import from"));
    btnbrowse->setAutoDefault(false);
    fileRow->addWidget(edtfile, 1);
    fileRow->addWidget(btnbrowse);
    form->addLayout(fileRow);
    auto *format = new QLabel(
        QStringLiteral("The file must be in plain text format with each e-mail address on a new line"), this);
    format->setWordWrap(true);
    form->addWidget(format);

    chkcategory
        = new QCheckBox(QStringLiteral("Each entry includes a category field, separated by the character:"), this);
    chkcategory->setObjectName(QStringLiteral("chkcategory"));
    chkcategory->setToolTip(QStringLiteral("If checked then each line will be checked to see if it includes a category "
                                           "after the e-mail address, separated by the character below"));
    form->addWidget(chkcategory);
    auto *delimitRow = new QHBoxLayout;
    delimitRow->addSpacing(formscale::px(20));
    edtdelimit = new QLineEdit(this);
    edtdelimit->setObjectName(QStringLiteral("edtdelimit"));
    edtdelimit->setToolTip(
        QStringLiteral("The character that is used to separate the e-mail and category fields on each line"));
    edtdelimit->setMaxLength(1);
    QFont bold = edtdelimit->font();
    bold.setBold(true);
    edtdelimit->setFont(bold);
    edtdelimit->setFixedWidth(formscale::px(25));
    lbleg = new QLabel(this);
    lbleg->setObjectName(QStringLiteral("lbleg"));
    delimitRow->addWidget(edtdelimit);
    delimitRow->addWidget(lbleg, 1);
    form->addLayout(delimitRow);
    form->addSpacing(formscale::px(6));

    buildModes(this, this, form, QStringLiteral("How should the imported addresses be treated?"));
    form->addStretch(1);

    auto *buttons = new QHBoxLayout;
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setEnabled(false);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    for (QPushButton *b : {btnOK, btnCancel})
        b->setFixedSize(formscale::size(75, 25));
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    form->addLayout(buttons);

    connect(btnbrowse, &QPushButton::clicked, this, &TdlgImport::btnbrowseClick);
    connect(chkcategory, &QCheckBox::toggled, this, &TdlgImport::chkcategoryClick);
    connect(edtdelimit, &QLineEdit::textChanged, this, &TdlgImport::edtdelimitChange);
    connect(btnOK, &QPushButton::clicked, this, &TdlgImport::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    edtdelimit->setText(QStringLiteral(","));
    chkcategoryClick();
    setFixedSize(sizeHint().expandedTo(formscale::size(368, 411)));
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

QString TdlgImport::fileFilter()
{
    return QStringLiteral("Comma-delimited Files (*.csv *.txt)");
}

void TdlgImport::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TdlgImport::FormShow()
{
    edtdelimit->setText(QStringLiteral(","));
    edtcategory->setText(m_workspace.settings.defaultcategory);
}

void TdlgImport::btnbrowseClick()
{
    const QString file = m_prompts.openFileName(QStringLiteral("Open"), fileFilter(), edtfile->text());
    if (file.isEmpty())
        return;
    edtfile->setText(QDir::toNativeSeparators(file));
    btnOK->setEnabled(true);
}

void TdlgImport::chkcategoryClick()
{
    edtdelimit->setEnabled(chkcategory->isChecked());
    lbleg->setEnabled(chkcategory->isChecked());
}

void TdlgImport::edtdelimitChange()
{
    lbleg->setText(QStringLiteral("(e.g. ") + exampleAddress() + edtdelimit->text() + QStringLiteral("My_Category)"));
}

void TdlgImport::btnOKClick()
{
    if (removeCategoryMissing()) {
        m_prompts.information(missingCategoryText());
        accept();
        return;
    }
    const QString path = QDir::fromNativeSeparators(edtfile->text());
    QString why;
    std::optional<ImportLines> lines;
    {
        WaitCursor wait;
        lines = ImportLines::fromFile(path, &why);
    }
    if (!lines) {
        m_prompts.warning(openFailedText() + QStringLiteral("\n\n") + QDir::toNativeSeparators(path)
                          + QStringLiteral(": ") + why);
        accept();
        return;
    }
    {
        WaitCursor wait;
        Importfile(services(), *lines, rdbadd->isChecked(), rdbremove->isChecked(), rdbbounce->isChecked(),
                   chosenCategory(), chkcategory->isChecked(), edtdelimit->text(),
                   QStringLiteral("Import of entries from file, ") + QFileInfo(path).fileName());
    }
    accept();
}
