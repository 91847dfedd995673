// The six pages of the options dialog, with their design-time states.
#include "dialogs/FormScale.h"
#include "dialogs/options.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

template<typename W> W *named(W *w, const char *name, const QString &hint = {})
{
    w->setObjectName(QString::fromLatin1(name));
    if (!hint.isEmpty())
        w->setToolTip(hint);
    return w;
}

QLabel *wrapped(QWidget *parent, const QString &text, const char *name = "")
{
    auto *l = named(new QLabel(text, parent), name);
    l->setWordWrap(true);
    return l;
}

QListWidget *listBox(QWidget *parent, const char *name, const QString &hint)
{
    auto *box = named(new QListWidget(parent), name, hint);
    box->setUniformItemSizes(true);
    return box;
}

// Two lists on one page need two key letters.
QPushButton *editButton(QWidget *parent, const char *name, bool second = false)
{
    auto *b = named(new QPushButton(second ? QStringLiteral("Ed&it..") : QStringLiteral("&Edit.."), parent), name);
    b->setMinimumSize(formscale::size(75, 25));
    b->setAutoDefault(false);
    return b;
}

// A list with its Edit.. button below, at the right.
void addListWithButton(QVBoxLayout *into, QListWidget *box, QPushButton *button)
{
    into->addWidget(box, 1);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(button);
    into->addLayout(row);
}

} // namespace

QWidget *Tdlgoptions::buildGeneral()
{
    auto *page = new QWidget;
    auto *v = new QVBoxLayout(page);
    auto *folder = new QGroupBox(QStringLiteral("Outlook Mailing List Folder"), page);
    auto *fv = new QVBoxLayout(folder);
    fv->addWidget(wrapped(folder, QStringLiteral("Which Outlook folder should be scanned for Add and Remove requests "
                                                 "(and Undeliverables):")));
    edtmaillistgroup = named(new QLineEdit(folder), "edtmaillistgroup",
                             QStringLiteral("This is the folder that will be used to find new mailing list messages"));
    fv->addWidget(edtmaillistgroup);
    chkautoscan
        = named(new QCheckBox(QStringLiteral("Always scan Outlook for new entries on start-up"), folder), "chkautoscan",
                QStringLiteral("If checked then every time the application is started Outlook will be "
                               "scanned for new entries"));
    fv->addWidget(chkautoscan);
    v->addWidget(folder);

    rgpScanAllEmailLines
        = named(new QGroupBox(QStringLiteral("Where to search for Subscribe/Unsubscribe command"), page),
                "rgpScanAllEmailLines",
                QStringLiteral("Allows you to specify where the subscribe/unsubscribe line should be "
                               "searched for in a message"));
    auto *sv = new QVBoxLayout(rgpScanAllEmailLines);
    rdbScanFirstLines
        = named(new QRadioButton(QStringLiteral("Search subject line and first line of e-mail"), rgpScanAllEmailLines),
                "rdbScanFirstLines");
    rdbScanAllLines = named(new QRadioButton(QStringLiteral("Search entire e-mail (slower)"), rgpScanAllEmailLines),
                            "rdbScanAllLines");
    rdbScanAllLines->setChecked(true);
    sv->addWidget(rdbScanFirstLines);
    sv->addWidget(rdbScanAllLines);
    v->addWidget(rgpScanAllEmailLines);

    auto *other = new QGroupBox(QStringLiteral("Other"), page);
    auto *ov = new QVBoxLayout(other);
    chkUpdateCommentsWhenEntryExists = named(
        new QCheckBox(QStringLiteral("When an entry already exists update the comments with the newer entry"), other),
        "chkUpdateCommentsWhenEntryExists",
        QStringLiteral("When inserting an address and the address already exists, do you want the comment to be "
                       "replaced with the new comment?"));
    chkallowfromaddressasentry = named(
        new QCheckBox(QStringLiteral("If the e-mail address cannot be determined, use the From address"), other),
        "chkallowfromaddressasentry",
        QStringLiteral("If the e-mail address cannot be determined from the Subscribe/Unsubscribe line, use From "
                       "address"));
    chkallowfromaddressasentry->setChecked(true);
    ov->addWidget(chkUpdateCommentsWhenEntryExists);
    ov->addWidget(chkallowfromaddressasentry);
    v->addWidget(other);
    v->addStretch(1);
    return page;
}

QWidget *Tdlgoptions::buildCategories()
{
    auto *page = new QWidget;
    auto *v = new QVBoxLayout(page);
    rgpMultipleCategorySupport = named(
        new QGroupBox(QStringLiteral("Multiple Category Support"), page), "rgpMultipleCategorySupport",
        QStringLiteral("The setting specifies whether a user (i.e. their e-mail address) can belong to multiple "
                       "lists. Option 1 means an e-mail address can only appear once in the database.  Option 2 "
                       "means an e-mail address can appear many times if the category is different"));
    auto *mv = new QVBoxLayout(rgpMultipleCategorySupport);
    rdbSingleCategory = named(new QRadioButton(QStringLiteral("E-mail addresses can only occur once within the "
                                                              "mailing list"),
                                               rgpMultipleCategorySupport),
                              "rdbSingleCategory");
    rdbMultipleCategories = named(new QRadioButton(QStringLiteral("E-mail addresses can belong to multiple "
                                                                  "categories within the mailing list"),
                                                   rgpMultipleCategorySupport),
                                  "rdbMultipleCategories");
    rdbSingleCategory->setChecked(true);
    mv->addWidget(rdbSingleCategory);
    mv->addWidget(rdbMultipleCategories);
    v->addWidget(rgpMultipleCategorySupport);

    auto *cats = new QGroupBox(QStringLiteral("Categories"), page);
    auto *cv = new QVBoxLayout(cats);
    rdballcats = named(new QRadioButton(QStringLiteral("Allow all categories"), cats), "rdballcats",
                       QStringLiteral("If this option is set then Quillmar does not check that the category a user "
                                      "has joined is permitted, it always accepts it"));
    rdballcats->setChecked(true);
    rdbrestrictcategories = named(
        new QRadioButton(QStringLiteral("Only allow the following categories:"), cats), "rdbrestrictcategories",
        QStringLiteral("If this option is set then when a user joins a category, the category is checked to ensure "
                       "it is allowed (from the list below).  If it is not allowed it specifies to the category "
                       "below"));
    cv->addWidget(rdballcats);
    cv->addWidget(rdbrestrictcategories);
    lbxcategories = listBox(cats, "lbxcategories", QStringLiteral("Specify the categories that are allowed"));
    edtcategories = editButton(cats, "edtcategories");
    addListWithButton(cv, lbxcategories, edtcategories);
    auto *altRow = new QHBoxLayout;
    lblcats = named(new QLabel(QStringLiteral("Add other entries to the category:"), cats), "lblcats");
    edtAlternativeCategory = named(new QLineEdit(cats), "edtAlternativeCategory",
                                   QStringLiteral("Specify the category that the user should be assigned if the one "
                                                  "they have entered is not permitted"));
    altRow->addWidget(lblcats);
    altRow->addWidget(edtAlternativeCategory, 1);
    cv->addLayout(altRow);
    v->addWidget(cats, 1);

    auto *def = new QGroupBox(QStringLiteral("Default Category"), page);
    auto *dv = new QVBoxLayout(def);
    dv->addWidget(wrapped(def, QStringLiteral("When the join category cannot be determined, use the following "
                                              "category:")));
    edtdefaultcategory = named(new QLineEdit(QStringLiteral("Default"), def), "edtdefaultcategory",
                               QStringLiteral("This is the category that will be specified "));
    dv->addWidget(edtdefaultcategory);
    v->addWidget(def);
    return page;
}

QWidget *Tdlgoptions::buildSynonyms()
{
    auto *page = new QWidget;
    auto *v = new QVBoxLayout(page);
    auto *add = new QGroupBox(QStringLiteral("Subscribe Synonyms:"), page);
    auto *av = new QVBoxLayout(add);
    lbxAddStrings = listBox(add, "lbxAddStrings", QStringLiteral("Words that have the same effect as SUBSCRIBE"));
    btnsubsynonyms = editButton(add, "btnsubsynonyms");
    addListWithButton(av, lbxAddStrings, btnsubsynonyms);
    auto *remove = new QGroupBox(QStringLiteral("Unsubscribe Synonyms:"), page);
    auto *rv = new QVBoxLayout(remove);
    lbxRemovalStrings
        = listBox(remove, "lbxRemovalStrings", QStringLiteral("Words that have the same effect as UNSUBSCRIBE"));
    btnunsubsynonyms = editButton(remove, "btnunsubsynonyms", true);
    addListWithButton(rv, lbxRemovalStrings, btnunsubsynonyms);
    v->addWidget(add, 1);
    v->addWidget(remove, 1);
    return page;
}

QWidget *Tdlgoptions::buildExceptions()
{
    auto *page = new QWidget;
    auto *v = new QVBoxLayout(page);
    auto *invalid = new QGroupBox(QStringLiteral("Invalid E-mail Address Checking"), page);
    auto *iv = new QVBoxLayout(invalid);
    chkExcept
        = named(new QCheckBox(QStringLiteral("Do not allow the insertion of invalid addresses"), invalid), "chkExcept",
                QStringLiteral("If this is checked then addresses that do not look like valid e-mail "
                               "addresses are not inserted into the mailing list; each rejected address is "
                               "added to the errors list"));
    chkExcept->setChecked(true);
    iv->addWidget(chkExcept);
    Label1 = wrapped(invalid,
                     QStringLiteral("A standard set of rules are used to determine an invalid address.  You can also "
                                    "enter your own exceptions here.  If the address contains the entered text it "
                                    "will not be inserted:"),
                     "Label1");
    iv->addWidget(Label1);
    lbxexceptions = listBox(invalid, "lbxexceptions",
                            QStringLiteral("Specify extra exceptions here.  If the e-mail address contains any of "
                                           "these items it will be considered invalid"));
    btninvalidentries = editButton(invalid, "btninvalidentries");
    addListWithButton(iv, lbxexceptions, btninvalidentries);

    auto *blocked = new QGroupBox(QStringLiteral("Blocked Addresses"), page);
    auto *bv = new QVBoxLayout(blocked);
    bv->addWidget(wrapped(blocked, QStringLiteral("Never allow the following addresses to be added to the mailing "
                                                  "list:")));
    lbxneversubscribe = listBox(blocked, "lbxneversubscribe",
                                QStringLiteral("Specify any addresses that can never be added to the list, e.g. "
                                               "competitors"));
    btnneverjoin = editButton(blocked, "btnneverjoin", true);
    addListWithButton(bv, lbxneversubscribe, btnneverjoin);
    v->addWidget(invalid, 1);
    v->addWidget(blocked, 1);
    return page;
}

QWidget *Tdlgoptions::buildSending()
{
    auto *page = new QWidget;
    auto *v = new QVBoxLayout(page);
    auto *how = new QGroupBox(QStringLiteral("How should messages be sent?"), page);
    auto *hv = new QVBoxLayout(how);
    rdbsingleemail
        = named(new QRadioButton(QStringLiteral("Send separate e-mail to each address"), how), "rdbsingleemail",
                QStringLiteral("If this option is checked then a single e-mail is used for every address "
                               "you are sending to.  This will take a LONG time if you have a large "
                               "mailing list"));
    rdbmultiemail = named(new QRadioButton(QStringLiteral("Add multiple addresses (hidden) to each e-mail"), how),
                          "rdbmultiemail",
                          QStringLiteral("If this option is set then multiple addresses are added to each e-mail.  "
                                         "The addresses are placed in the BCC field so that they are invisible to "
                                         "other recipients."));
    rdbmultiemail->setChecked(true);
    hv->addWidget(rdbsingleemail);
    hv->addWidget(rdbmultiemail);
    Label8 = wrapped(how,
                     QStringLiteral("Messages are sent by adding recipients to the BCC: line of outgoing messages.  "
                                    "What is the maximum number of recipients that should be added to each message "
                                    "(if the number is less than your mailing list size, multiple messages will be "
                                    "sent)"),
                     "Label8");
    hv->addWidget(Label8);
    auto *countRow = new QHBoxLayout;
    Label2 = named(new QLabel(QStringLiteral("Maximum number of recipients per message:"), how), "Label2");
    spnmaxsendcount = named(new QSpinBox(how), "spnmaxsendcount",
                            QStringLiteral("Specifies the maximum number of recipients that should be added to a "
                                           "message before a new message is created"));
    spnmaxsendcount->setRange(1, 99999);
    spnmaxsendcount->setValue(500);
    countRow->addWidget(Label2);
    countRow->addWidget(spnmaxsendcount);
    countRow->addStretch(1);
    hv->addLayout(countRow);
    v->addWidget(how);

    auto *other = new QGroupBox(QStringLiteral("Other"), page);
    auto *ov = new QVBoxLayout(other);
    ov->addWidget(
        wrapped(other, QStringLiteral("Always add the following address to the To: line of sent mail:"), "Label7"));
    defaulttoaddress = named(new QLineEdit(other), "defaulttoaddress",
                             QStringLiteral("If you specify an e-mail address here it will be used as the TO address "
                                            "on all messages sent (it is recommended you enter your own address "
                                            "here)"));
    ov->addWidget(defaulttoaddress);
    AcknowledgeCheck = named(new QCheckBox(QStringLiteral("Request Read Receipts"), other), "AcknowledgeCheck",
                             QStringLiteral("If this is checked then all Read Receipt flag will be set so that you "
                                            "are advised when each recipient has read your message"));
    ov->addWidget(AcknowledgeCheck);
    v->addWidget(other);
    v->addStretch(1);
    return page;
}

QWidget *Tdlgoptions::buildDeliveryFailure()
{
    auto *page = new QWidget;
    auto *v = new QVBoxLayout(page);
    auto *failure = new QGroupBox(QStringLiteral("Delivery Failure Processing"), page);
    auto *fv = new QVBoxLayout(failure);
    chkfailedmail = named(new QCheckBox(QStringLiteral("Automatically process Delivery Failure messages"), failure),
                          "chkfailedmail",
                          QStringLiteral("If this is checked then Delivery Failure messages will also be processed "
                                         "and each time a message to a particular recipient is returned their Bounce "
                                         "Count will be increased"));
    chkfailedmail->setChecked(true);
    fv->addWidget(chkfailedmail);
    chkreaddeliveryreports
        = named(new QCheckBox(QStringLiteral("Read standard delivery reports to find the failed addresses"), failure),
                "chkreaddeliveryreports",
                QStringLiteral("If this is checked then a delivery report counts exactly the addresses it lists as "
                               "failed, each once, whatever its subject; other failure messages count each address "
                               "they hold once"));
    chkreaddeliveryreports->setChecked(true);
    fv->addWidget(chkreaddeliveryreports);
    chkremovecomplainers
        = named(new QCheckBox(QStringLiteral("Remove members who report the list's mail as spam"), failure),
                "chkremovecomplainers",
                QStringLiteral("If this is checked then a member whose mail provider reports that they marked the "
                               "list's mail as spam is removed from the list, as an unsubscribe would remove them"));
    chkremovecomplainers->setChecked(true);
    fv->addWidget(chkremovecomplainers);
    Label4 = wrapped(failure,
                     QStringLiteral("Subject lines containing the following strings will be considered Delivery "
                                    "Failures:"),
                     "Label4");
    fv->addWidget(Label4);
    lbxfailure = listBox(failure, "lbxfailure",
                         QStringLiteral("Specify what should be searched for in the subject line to determine the "
                                        "message is a Bounce"));
    btndeliveryfailure = editButton(failure, "btndeliveryfailure");
    addListWithButton(fv, lbxfailure, btndeliveryfailure);
    v->addWidget(failure, 1);

    auto *removal = new QGroupBox(QStringLiteral("Removal of Erroneous Addresses"), page);
    auto *row = new QHBoxLayout(removal);
    const QString hint = QStringLiteral(
        "If this setting is greater than 0 then when a particular e-mail address has bounced more than then number "
        "specified here the address will be automatically removed.  Set this value to 0 to never automatically "
        "remove entries");
    Label5
        = named(new QLabel(QStringLiteral("Remove e-mail addresses that have bounced more than"), removal), "Label5");
    spnbouncemax = named(new QSpinBox(removal), "spnbouncemax", hint);
    spnbouncemax->setRange(0, 999);
    spnbouncemax->setValue(10);
    Label6 = named(new QLabel(QStringLiteral("times"), removal), "Label6");
    row->addWidget(Label5);
    row->addWidget(spnbouncemax);
    row->addWidget(Label6);
    row->addStretch(1);
    v->addWidget(removal);
    return page;
}
