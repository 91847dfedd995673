#include "dialogs/AboutBoxUnit.h"

#include "dialogs/FormScale.h"

#include <QDesktopServices>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

QLabel *linkLabel(QWidget *parent, const char *name, const QString &text, const QUrl &target)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    QFont f = l->font();
    f.setUnderline(true);
    l->setFont(f);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, Qt::blue);
    l->setPalette(p);
    l->setCursor(Qt::PointingHandCursor);
    l->setToolTip(target.toString());
    return l;
}

} // namespace

TAboutBox::TAboutBox(std::function<void()> showHelp, QWidget *parent)
    : QDialog(parent)
    , m_showHelp(std::move(showHelp))
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *form = new QVBoxLayout(this);
    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(2);
    auto *inside = new QVBoxLayout(panel);

    ProductName = new QLabel(QStringLiteral("Quillmar for Outlook"), panel);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    QFont big = ProductName->font();
    big.setPixelSize(formscale::px(24));
    big.setBold(true);
    ProductName->setFont(big);
    lblversion = new QLabel(panel);
    lblversion->setObjectName(QStringLiteral("lblversion"));
    QFont bold = lblversion->font();
    bold.setBold(true);
    lblversion->setFont(bold);
    auto *note = new QLabel(QStringLiteral("Note: this is a beta release.  It should be fully functional however the "
                                           "help file has not yet been completed."),
                            panel);
    note->setObjectName(QStringLiteral("Comments"));
    note->setWordWrap(true);
    auto *update = new QLabel(QStringLiteral("An update release will be posted on our web site."), panel);
    update->setObjectName(QStringLiteral("Copyright"));
    update->setWordWrap(true);
    lblvarnel = linkLabel(panel, "lblvarnel", QStringLiteral("Varnel Software"), homePage());
    lblemail = linkLabel(panel, "lblemail", salesMail().path(), salesMail());
    auto *links = new QHBoxLayout;
    links->addWidget(lblvarnel);
    links->addStretch(1);
    links->addWidget(lblemail);
    for (QLabel *l : {ProductName, lblversion})
        inside->addWidget(l);
    inside->addWidget(note);
    inside->addWidget(update);
    inside->addStretch(1);
    inside->addLayout(links);
    form->addWidget(panel, 1);

    auto *buttons = new QHBoxLayout;
    OKbtn = new QPushButton(QStringLiteral("&Close"), this);
    OKbtn->setObjectName(QStringLiteral("OKbtn"));
    OKbtn->setDefault(true);
    BitBtn1 = new QPushButton(QStringLiteral("&Help"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setAutoDefault(false);
    for (QPushButton *b : {OKbtn, BitBtn1})
        b->setMinimumSize(formscale::size(75, 25));
    buttons->addStretch(1);
    buttons->addWidget(OKbtn);
    buttons->addWidget(BitBtn1);
    buttons->addStretch(1);
    form->addLayout(buttons);

    setFixedSize(sizeHint().expandedTo(formscale::size(302, 264)));
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    lblvarnel->installEventFilter(this);
    lblemail->installEventFilter(this);
    connect(OKbtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn1, &QPushButton::clicked, this, &TAboutBox::BitBtn1Click);
}

QUrl TAboutBox::homePage()
{
    return QUrl(QStringLiteral("https://www.example.org/quillmar/"));
}

QUrl TAboutBox::salesMail()
{
    return QUrl(QStringLiteral("mailto:sales@example.org"));
}

void TAboutBox::showEvent(QShowEvent *event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TAboutBox::FormShow()
{
    lblversion->setText(QStringLiteral("Version 0.95"));
}

bool TAboutBox::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == lblvarnel) {
            lblvarnelClick();
            return true;
        }
        if (watched == lblemail) {
            lblemailClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutBox::lblvarnelClick()
{
    QDesktopServices::openUrl(homePage());
}

void TAboutBox::lblemailClick()
{
    QDesktopServices::openUrl(salesMail());
}

void TAboutBox::BitBtn1Click()
{
    if (m_showHelp)
        m_showHelp();
}
