#include "TfrmSobre.h"

#include "ShellArt.h"
#include "TdtmImagens.h"
#include "platform/DesktopLinks.h"
#include "platform/ExecutableVersion.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

namespace tarvolo::shell {

namespace {

const char* const kSupportAddress = "suporte@tarvolo.example";
const char* const kSalesAddress = "vendas@tarvolo.example";
const char* const kWebAddress = "https://tarvolo.example/";
const QColor kMaroon(128, 0, 0);

QFont ArialBold(int points)
{
    QFont font("Arial", points);
    font.setBold(true);
    return font;
}

} // namespace

TTelaSobre::TTelaSobre(QWidget* owner, bool ComTelaErros, platform::DesktopLinks& links)
    : TTelaDados(owner, ComTelaErros), links_(links)
{
    setObjectName("TelaSobre");
    setWindowTitle("Sobre...");
    pnlDados->setFixedSize(367, 179);

    imgLogo = new QLabel(pnlDados);
    imgLogo->setObjectName("imgLogo");
    imgLogo->setGeometry(0, 0, 75, 179);
    imgLogo->setAlignment(Qt::AlignCenter);
    imgLogo->setPixmap(ShellArt::AboutLogo(devicePixelRatio()));

    lblSistema = createLabel("lblSistema", "Nome do Sistema", QPoint(86, 6));
    QFont title("Arial");
    title.setPixelSize(16);
    title.setBold(true);
    title.setItalic(true);
    lblSistema->setFont(title);
    lblSistema->setStyleSheet("color: rgb(128, 0, 0)");
    lblTitulo = createLabel("lblTitulo", "Versão:", QPoint(86, 31));
    lblTitulo->setFont(ArialBold(8));
    lblVersao = createLabel("lblVersao", "Coloque aqui a versão", QPoint(133, 31));
    lblVersao->setFont(ArialBold(8));
    lblCopyright = createLabel("lblCopyright", "© 2026 Tarvolo. Todos os direitos reservados.", QPoint(86, 53));
    lblCopyright->setFont(ArialBold(8));
    lblCopyright->setStyleSheet("color: rgb(128, 0, 0)");
    lblEmails = createLabel("lblEmails", "E-mails:", QPoint(92, 78));
    lblEmail1 = createLink("lblEmail1", kSupportAddress, QPoint(133, 78));
    lblEmail2 = createLink("lblEmail2", kSalesAddress, QPoint(133, 98));
    lblWebsite = createLabel("lblWebsite", "Website:", QPoint(86, 118));
    lblHttp = createLink("lblHttp", kWebAddress, QPoint(133, 118));

    btnConfirmar = new QPushButton(TdtmImagens::Instance().Normal(5), "Ok", pnlDados);
    btnConfirmar->setObjectName("btnConfirmar");
    btnConfirmar->setGeometry(164, 144, 75, 25);
    btnConfirmar->setDefault(true);
    connect(btnConfirmar, &QPushButton::clicked, this, &TTelaSobre::btnConfirmarClick);
    btnConfirmar->setFocus();
    setFixedSize(367, 198);
}

QLabel* TTelaSobre::createLabel(const char* name, const QString& text, QPoint at)
{
    auto* label = new QLabel(text, pnlDados);
    label->setObjectName(name);
    label->move(at);
    label->adjustSize();
    return label;
}

QLabel* TTelaSobre::createLink(const char* name, const QString& text, QPoint at)
{
    QLabel* link = createLabel(name, text, at);
    QFont font("MS Sans Serif", 8);
    font.setUnderline(true);
    link->setFont(font);
    link->setStyleSheet("color: rgb(0, 0, 255)");
    link->setCursor(Qt::PointingHandCursor);
    link->adjustSize();
    link->installEventFilter(this);
    return link;
}

bool TTelaSobre::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == lblEmail1 || watched == lblEmail2) {
            EnviarEMail(static_cast<QLabel*>(watched));
            return true;
        }
        if (watched == lblHttp) {
            lblHttpClick();
            return true;
        }
    }
    return TTelaDados::eventFilter(watched, event);
}

// A link that fails to open says nothing; the window stays.
void TTelaSobre::EnviarEMail(QLabel* sender)
{
    links_.Open(QUrl("mailto:" + sender->text()));
}

void TTelaSobre::lblHttpClick()
{
    links_.Open(QUrl(kWebAddress));
}

void TTelaSobre::btnConfirmarClick()
{
    done(mrOk);
}

void TTelaSobre::FormKeyDown(int& key, Qt::KeyboardModifiers shift)
{
    TTelaDados::FormKeyDown(key, shift);
    if (key == Qt::Key_Space && (shift & Qt::ControlModifier))
        btnConfirmar->click();
}

TfrmSobre::TfrmSobre(QWidget* owner, bool ComTelaErros, platform::DesktopLinks& links) : TTelaSobre(owner, ComTelaErros, links)
{
    setObjectName("frmSobre");
    setWindowTitle("Sobre");
    lblSistema->setText("Kestan Tarvolo");
    lblSistema->adjustSize();
}

void TfrmSobre::FormCreate()
{
    TTelaSobre::FormCreate();
    lblVersao->setText(VersaoExecutavel());
    lblVersao->adjustSize();
}

QString TfrmSobre::VersaoExecutavel()
{
    return platform::ExecutableVersion::Running().Text();
}

} // namespace tarvolo::shell
