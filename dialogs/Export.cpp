#include "dialogs/Export.h"

#include "core/Prompts.h"
#include "dialogs/FormScale.h"
#include "dialogs/WaitCursor.h"
#include "store/exportlist.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

QCheckBox *fieldBox(QWidget *parent, const char *name, const QString &caption, const QString &hint, bool on)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setToolTip(hint);
    box->setChecked(on);
    return box;
}

} // namespace

TdlgExport::TdlgExport(MLTable &table, Prompts &prompts, ProgressFn progress, QWidget *parent)
    : QDialog(parent)
    , m_table(table)
    , m_prompts(prompts)
    , m_progress(std::move(progress))
{
    setObjectName(QStringLiteral("dlgExport"));
    setWindowTitle(QStringLiteral("Export E-mail List"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *form = new QVBoxLayout(this);
    form->setContentsMargins(formscale::px(12), formscale::px(10), formscale::px(12), formscale::px(10));
    form->addWidget(new QLabel(QStringLiteral("Please choose a filename:"), this));
    auto *fileRow = new QHBoxLayout;
    edtfile = new QLineEdit(this);
    edtfile->setObjectName(QStringLiteral("edtfile"));
    edtfile->setToolTip(QStringLiteral("The filename that the list will be saved to"));
    btnSave = new QPushButton(QStringLiteral("&Save.."), this);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    btnSave->setToolTip(QStringLiteral("Choose your filename"));
    btnSave->setAutoDefault(false);
    fileRow->addWidget(edtfile, 1);
    fileRow->addWidget(btnSave);
    form->addLayout(fileRow);

    form->addWidget(new QLabel(QStringLiteral("What fields do you want to export:"), this));
    auto *fields = new QHBoxLayout;
    chkEmail = fieldBox(this, "chkEmail", QStringLiteral("E-mail "),
                        QStringLiteral("The E-mail address will be listed in the export file"), true);
    chkcategory = fieldBox(this, "chkcategory", QStringLiteral("Category"),
                           QStringLiteral("The category field will be listed in the export file"), false);
    chkcomments = fieldBox(this, "chkcomments", QStringLiteral("Comments"),
                           QStringLiteral("The comments field will be listed in the export file"), false);
    for (QCheckBox *box : {chkEmail, chkcategory, chkcomments})
        fields->addWidget(box);
    fields->addStretch(1);
    form->addLayout(fields);

    auto *delimitRow = new QHBoxLayout;
    delimitRow->addWidget(new QLabel(QStringLiteral("Separate fields with the character:"), this));
    edtdelimit = new QLineEdit(QStringLiteral(","), this);
    edtdelimit->setObjectName(QStringLiteral("edtdelimit"));
    edtdelimit->setToolTip(
        QStringLiteral("This is the character that will separate each of the fields above on each line"));
    edtdelimit->setMaxLength(1);
    QFont bold = edtdelimit->font();
    bold.setBold(true);
    edtdelimit->setFont(bold);
    edtdelimit->setFixedWidth(formscale::px(25));
    delimitRow->addWidget(edtdelimit);
    delimitRow->addStretch(1);
    form->addLayout(delimitRow);
    form->addStretch(1);

    auto *buttons = new QHBoxLayout;
    btnok = new QPushButton(QStringLiteral("OK"), this);
    btnok->setObjectName(QStringLiteral("btnok"));
    btnok->setEnabled(false);
    btnok->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    for (QPushButton *b : {btnok, btnCancel})
        b->setFixedSize(formscale::size(75, 25));
    buttons->addStretch(1);
    buttons->addWidget(btnok);
    buttons->addWidget(btnCancel);
    form->addLayout(buttons);

    setFixedSize(formscale::size(335, 255));
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    connect(btnSave, &QPushButton::clicked, this, &TdlgExport::saveClick);
    connect(edtfile, &QLineEdit::textChanged, this, &TdlgExport::edtfileChange);
    for (QCheckBox *box : {chkEmail, chkcategory, chkcomments})
        connect(box, &QCheckBox::clicked, this, &TdlgExport::edtfileChange);
    connect(btnok, &QPushButton::clicked, this, &TdlgExport::btnokClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString TdlgExport::fileFilter()
{
    return QStringLiteral("Comma-delimited Files (*.csv);;Text File (*.txt)");
}

void TdlgExport::saveClick()
{
    const QString file = m_prompts.saveFileName(QStringLiteral("Save As"), fileFilter(), edtfile->text());
    if (!file.isEmpty())
        edtfile->setText(file);
}

void TdlgExport::edtfileChange()
{
    btnok->setEnabled(!edtfile->text().isEmpty()
                      && (chkEmail->isChecked() || chkcategory->isChecked() || chkcomments->isChecked()));
}

void TdlgExport::btnokClick()
{
    bool written;
    {
        WaitCursor wait;
        written = exportlist(m_table, m_prompts, m_progress, edtfile->text(), chkEmail->isChecked(),
                             chkcategory->isChecked(), chkcomments->isChecked(), edtdelimit->text(), m_stop);
    }
    // After a failure the choices stay, so another file can be tried.
    if (written)
        accept();
}
