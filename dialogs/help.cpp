#include "dialogs/help.h"

#include "dialogs/FormScale.h"
#include "dialogs/WaitCursor.h"
#include "platform/richtext/RtfReader.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShowEvent>
#include <QTextEdit>
#include <QVBoxLayout>

TdlgHelp::TdlgHelp(QString programDir, QWidget *parent)
    : QDialog(parent)
    , m_programDir(std::move(programDir))
{
    setObjectName(QStringLiteral("dlgHelp"));
    setWindowTitle(QStringLiteral("Quillmar Help"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);

    auto *row = new QHBoxLayout(this);
    const int border = formscale::px(10);
    row->setContentsMargins(border, border, border, border);
    RichEdit1 = new QTextEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->setPlainText(placeholderText());
    // Tab moves on, so a keyboard user is not kept in the text.
    RichEdit1->setTabChangesFocus(true);
    row->addWidget(RichEdit1, 1);

    auto *panel = new QVBoxLayout;
    panel->addStretch(1);
    btnClose = new QPushButton(QStringLiteral("&Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setMinimumSize(formscale::size(75, 25));
    panel->addWidget(btnClose, 0, Qt::AlignHCenter);
    auto *panelBox = new QWidget(this);
    panelBox->setObjectName(QStringLiteral("Panel1"));
    panelBox->setLayout(panel);
    panelBox->setMinimumWidth(formscale::px(102));
    row->addWidget(panelBox);

    resize(formscale::size(632, 493));
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
}

QString TdlgHelp::placeholderText()
{
    const QString stars(42, QLatin1Char('*'));
    return stars + QStringLiteral("\n\n    Help File could not be found!\n\n") + stars + QStringLiteral("\n");
}

void TdlgHelp::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TdlgHelp::FormShow()
{
    const QString path = QDir(m_programDir).filePath(helpFileName());
    if (!QFileInfo::exists(path))
        return;
    WaitCursor wait;
    // A file that does not read as rich text leaves the note in place.
    platform::richtext::readRtfFile(path, RichEdit1->document());
}
