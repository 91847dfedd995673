#include "dialogs/addmoreModes.h"

#include "core/Prompts.h"
#include "dialogs/FormScale.h"
#include "dialogs/WaitCursor.h"
#include "intake/StrToStringlist.h"
#include "store/Importfile.h"
#include "store/ListWorkspace.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {

QRadioButton *radio(QWidget *parent, const char *name, const QString &caption, const QString &hint)
{
    auto *r = new QRadioButton(caption, parent);
    r->setObjectName(QString::fromLatin1(name));
    r->setToolTip(hint);
    return r;
}

QLineEdit *edit(QWidget *parent, const char *name, const QString &hint)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setToolTip(hint);
    e->setMinimumWidth(formscale::px(120));
    return e;
}

} // namespace

void ProcessModes::addProcessButtons(QWidget *parent, QBoxLayout *form, QPushButton *&process, QPushButton *&close)
{
    auto *buttons = new QHBoxLayout;
    process = new QPushButton(QStringLiteral("&Process Entries"), parent);
    process->setObjectName(QStringLiteral("btnProcessAll"));
    process->setToolTip(QStringLiteral("Start processing of the entries listed above"));
    close = new QPushButton(QStringLiteral("&Close"), parent);
    close->setObjectName(QStringLiteral("btnClose"));
    buttons->addStretch(1);
    for (QPushButton *b : {process, close}) {
        // Enter belongs to the text being typed.
        b->setAutoDefault(false);
        b->setMinimumSize(formscale::size(100, 25));
        buttons->addWidget(b);
    }
    form->addLayout(buttons);
}

ProcessModes::ProcessModes(ListWorkspace &workspace, Prompts &prompts, ProgressFn progress)
    : m_workspace(workspace)
    , m_prompts(prompts)
    , m_progress(std::move(progress))
{
}

void ProcessModes::buildModes(QWidget *parent, QObject *context, QBoxLayout *layout, const QString &question)
{
    layout->addWidget(new QLabel(question, parent));
    rdbadd = radio(parent, "rdbadd", QStringLiteral("Add to Mailing List"),
                   QStringLiteral("Adds each of the addresses above to your mailing list, specifying the category as "
                                  "give below"));
    Label4 = new QLabel(QStringLiteral("Category:"), parent);
    Label4->setObjectName(QStringLiteral("Label4"));
    edtcategory = edit(parent, "edtcategory",
                       QStringLiteral("This will be the category given to entries that are entered into your mailing "
                                      "list"));
    edtcategory->setAccessibleName(QStringLiteral("Category to add to"));
    edtcategory->setText(m_workspace.settings.defaultcategory);
    rdbremove = radio(parent, "rdbremove", QStringLiteral("Remove from Mailing List"),
                      QStringLiteral("Removes each of the e-mail addresses above from your mailing list"));
    rdbremoveall = radio(parent, "rdbremoveall", QStringLiteral("All Categories"),
                         QStringLiteral("Removes all occurences of the e-mail addresses from your database"));
    rdbremovecat = radio(parent, "rdbremovecat", QStringLiteral("Category:"),
                         QStringLiteral("Remove the e-mail addresses if the category matches that specified"));
    edtremovecat = edit(parent, "edtremovecat",
                        QStringLiteral("Specify the category that you want to remove these addresses from"));
    // Both fields sit beside a "Category:" caption; a screen reader tells them apart by these.
    edtremovecat->setAccessibleName(QStringLiteral("Category to remove from"));
    rdbbounce = radio(parent, "rdbbounce", QStringLiteral("Process as Undeliverable"),
                      QStringLiteral("Process each of the addresses above as if they were undeliverable messages (i.e. "
                                     "increase the bounce count for each of these entries)"));

    auto *mode = new QButtonGroup(parent);
    for (QRadioButton *r : {rdbadd, rdbremove, rdbbounce})
        mode->addButton(r);
    auto *scope = new QButtonGroup(parent);
    scope->addButton(rdbremoveall);
    scope->addButton(rdbremovecat);
    // Checked once grouped: siblings outside a group would uncheck each other.
    rdbadd->setChecked(true);
    rdbremoveall->setChecked(true);

    const int indent = formscale::px(20);
    auto *grid = new QGridLayout;
    grid->setColumnMinimumWidth(0, indent);
    grid->setColumnStretch(2, 1);
    // Sized to their captions, so a click beside one does not choose it.
    grid->addWidget(rdbadd, 0, 0, 1, 3, Qt::AlignLeft);
    auto *categoryRow = new QHBoxLayout;
    categoryRow->addWidget(Label4);
    categoryRow->addWidget(edtcategory, 1);
    grid->addLayout(categoryRow, 1, 1, 1, 2);
    grid->addWidget(rdbremove, 2, 0, 1, 3, Qt::AlignLeft);
    grid->addWidget(rdbremoveall, 3, 1, 1, 2, Qt::AlignLeft);
    grid->addWidget(rdbremovecat, 4, 1);
    grid->addWidget(edtremovecat, 4, 2);
    grid->addWidget(rdbbounce, 5, 0, 1, 3, Qt::AlignLeft);
    layout->addLayout(grid);

    for (QRadioButton *r : {rdbadd, rdbremove, rdbbounce, rdbremoveall, rdbremovecat})
        QObject::connect(r, &QRadioButton::clicked, context, [this] { rdbaddClick(); });
    rdbaddClick();
}

void ProcessModes::rdbaddClick()
{
    Label4->setEnabled(rdbadd->isChecked());
    edtcategory->setEnabled(rdbadd->isChecked());
    rdbremoveall->setEnabled(rdbremove->isChecked());
    rdbremovecat->setEnabled(rdbremove->isChecked());
    edtremovecat->setEnabled(rdbremove->isChecked() && rdbremovecat->isChecked());
}

bool ProcessModes::removeCategoryMissing() const
{
    return rdbremove->isChecked() && rdbremovecat->isChecked() && edtremovecat->text().isEmpty();
}

QString ProcessModes::chosenCategory() const
{
    if (rdbremove->isChecked())
        return rdbremoveall->isChecked() ? QString() : edtremovecat->text();
    return edtcategory->text();
}

ImportServices ProcessModes::services() const
{
    return ImportServices{m_workspace.rules, m_prompts, m_progress, &StrToStringlist, {}, m_stop};
}

bool ProcessModes::mayClose(const QString &unprocessed) const
{
    constexpr int AskAbove = 5;
    return unprocessed.size() <= AskAbove || m_prompts.confirm(unprocessedQuestion()) == Prompts::Answer::Yes;
}

std::optional<QStringList> ProcessModes::processLines(const QStringList &lines, const QString &commentPrefix)
{
    if (removeCategoryMissing()) {
        m_prompts.information(missingCategoryText());
        return std::nullopt;
    }
    ImportServices with = services();
    with.job = QStringLiteral("Processing");
    ImportResult result;
    {
        WaitCursor wait;
        result = Importfile(with, ImportLines(lines), rdbadd->isChecked(), rdbremove->isChecked(),
                            rdbbounce->isChecked(), chosenCategory(), false, QString(), commentPrefix);
    }
    QStringList left;
    for (const qsizetype i : result.left)
        left.append(lines.at(i));
    return left;
}
