#include "consopuntos/fconsopuntos.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QToolButton>
#include <QWindow>
#include <limits>

#include "consopuntos/cmdline.h"
#include "consopuntos/pictures.h"
#include "consopuntos/qttext.h"
#include "consopuntos/qtui.h"
#include "dbaccess/encoding.h"
#include "dbaccess/locale.h"
#include "dbaccess/stop.h"
#include "dbaccess/textforms.h"
#include "dm/platform.h"
#include "dm/ui.h"

using namespace dbx;

Tfconsopuntos* fconsopuntos = nullptr;

namespace {

constexpr int kClientWidth = 355;
constexpr int kClientHeight = 260;
constexpr int kPanel2Height = 57;
constexpr int kGroupBox1Height = 105;
constexpr int kPanel1Height = 52;

QFont FormFont() {
  QFont f(QStringLiteral("MS Sans Serif"));
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(11);
  return f;
}

// Short date format of the text forms as a Qt display format.
QString QtDateFormat(const std::string& picture, char separator) {
  QString out;
  for (std::size_t i = 0; i < picture.size();) {
    const auto lower = [](char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; };
    const char c = lower(picture[i]);
    std::size_t n = 1;
    while (i + n < picture.size() && lower(picture[i + n]) == c) ++n;
    if (c == 'd')
      out += n == 1 ? "d" : n == 2 ? "dd" : n == 3 ? "ddd" : "dddd";
    else if (c == 'm')
      out += n == 1 ? "M" : n == 2 ? "MM" : n == 3 ? "MMM" : "MMMM";
    else if (c == 'y')
      out += n <= 2 ? "yy" : "yyyy";
    else if (c == '/')
      out += QString(QChar::fromLatin1(separator)).repeated(static_cast<int>(n));
    else
      out += QString(QChar::fromLatin1(picture[i])).repeated(static_cast<int>(n));
    i += n;
  }
  return out;
}

QLabel* NewLabel(QWidget* parent, const char* text, int x, int y) {
  auto* l = new QLabel(ToDisplay(text), parent);
  l->move(x, y);
  l->adjustSize();
  return l;
}

const char* kFlatBevel = "border: 1px solid #808080; background: white;";

}  // namespace

Tfconsopuntos::Tfconsopuntos(Tfdm& dm, TCorridas& corridas, QWidget* parent)
    : QWidget(parent), TComponent(nullptr, "fconsopuntos"), dm_(dm), contexto_(dm.Context()), corridas_(corridas) {
  setObjectName("fconsopuntos");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(ToDisplay("Consolidación puntos clientes"_l1));
  setWindowIcon(ProgramIcon());
  setFont(FormFont());
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Button);
  BuildControls();

  const TConjuntosTransmision conjuntos = CrearConjuntosTransmision(this, dm_);
  PAcumulado = conjuntos.PAcumulado;
  CAcumulado = conjuntos.CAcumulado;
  PCliented = conjuntos.PCliented;
  CCliented = conjuntos.CCliented;

  corridas_.CerrarSinPantalla = [window = QPointer<Tfconsopuntos>(this)] {
    if (window) QMetaObject::invokeMethod(window, [window] { window->close(); }, Qt::QueuedConnection);
  };
  contexto_.Application.Run(this, [this] { FormCreate(); });
}

Tfconsopuntos::~Tfconsopuntos() = default;

void Tfconsopuntos::BuildControls() {
  resize(kClientWidth, kClientHeight);

  Panel2 = new QFrame(this);
  Panel2->setObjectName("Panel2");
  Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Label2 = new QLabel(ToDisplay("Este programa consolidad en la base de datos principal los puntos acumulados de "
                                "clientes de todos los puntos relacionados en la tabla de replicación"_l1),
                      Panel2);
  Label2->setObjectName("Label2");
  Label2->setGeometry(16, 6, 333, 49);
  Label2->setWordWrap(true);
  Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  GroupBox1 = new QGroupBox(ToDisplay("Base consolidada:"), this);
  GroupBox1->setObjectName("GroupBox1");
  NewLabel(GroupBox1, "Servidor : ", 40, 16);
  NewLabel(GroupBox1, "Usuario : ", 40, 40);
  NewLabel(GroupBox1, "Clave : ", 41, 64);
  NewLabel(GroupBox1, "Compañía:"_l1, 41, 88);
  Servidor = new QComboBox(GroupBox1);
  Servidor->setObjectName("Servidor");
  Servidor->setEditable(false);
  Servidor->setGeometry(100, 8, 120, 21);
  Servidor->addItem(QStringLiteral("c:\\varnex"), QByteArray("c:\\varnex"));
  Servidor->setCurrentIndex(0);
  Tusua = new QLineEdit(GroupBox1);
  Tusua->setObjectName("Tusua");
  Tusua->setGeometry(100, 32, 97, 21);
  TClave = new QLineEdit(GroupBox1);
  TClave->setObjectName("TClave");
  TClave->setGeometry(100, 56, 97, 21);
  TClave->setEchoMode(QLineEdit::Password);
  Cia = new QLineEdit(GroupBox1);
  Cia->setObjectName("Cia");
  Cia->setGeometry(100, 80, 45, 21);
  for (QLineEdit* e : {Tusua, TClave, Cia}) {
    e->setFrame(false);
    e->setMaxLength(std::numeric_limits<int>::max());  // no length limit
    e->setValidator(new Latin1Validator(e));
  }
  Servidor->setStyleSheet(QStringLiteral("QComboBox { %1 }").arg(QString::fromLatin1(kFlatBevel)));
  Tusua->setStyleSheet(QString::fromLatin1(kFlatBevel));
  Cia->setStyleSheet(QString::fromLatin1(kFlatBevel));
  // One style sheet only: the password character is taken when the first one
  // is set, a later sheet does not change it.
  TClave->setStyleSheet(QString::fromLatin1(kFlatBevel) + QStringLiteral(" lineedit-password-character: 42;"));

  GroupBox2 = new QGroupBox(ToDisplay("Parámetros "_l1), this);
  GroupBox2->setObjectName("GroupBox2");
  Label4 = NewLabel(GroupBox2, "Fecha:", 32, 24);
  Label4->setObjectName("Label4");
  EFecIni = new QDateEdit(QDate(2003, 1, 20), GroupBox2);
  EFecIni->setObjectName("EFecIni");
  EFecIni->setGeometry(75, 16, 89, 21);
  EFecIni->setCalendarPopup(true);
  // Every date the date parsing accepts: years 1 to 9999. The toolkit holds
  // none before year 100; such a date is shown as the field's special text.
  EFecIni->setDateRange(QDate(100, 1, 1), QDate(9999, 12, 31));
  connect(EFecIni, &QDateEdit::dateChanged, this, [this](const QDate& d) {
    if (settingDate_) return;
    // The user picked a date.
    EFecIni->setSpecialValueText({});
    fecha_ = Date{d.year(), d.month(), d.day()};
  });
  EFecIni->setDisplayFormat(QtDateFormat(contexto_.Formats.shortDateFormat, contexto_.Formats.dateSeparator));
  EFecIni->setEnabled(false);

  Panel1 = new QFrame(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  QFont buttonFont(QStringLiteral("Arial Narrow"));
  buttonFont.setStyleHint(QFont::SansSerif);
  buttonFont.setPointSize(8);
  buttonFont.setStretch(QFont::Condensed);  // a narrow face also where the substitute is not one
  const auto makeButton = [&](const char* name, const char* caption, int x, const QPixmap& picture) {
    auto* b = new QToolButton(Panel1);
    b->setObjectName(name);
    b->setText(ToDisplay(caption));
    b->setIcon(QIcon(picture));
    b->setIconSize(picture.size());
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setFont(buttonFont);
    b->setGeometry(x, 1, 65, 50);
    return b;
  };
  SpeedButton1 = makeButton("SpeedButton1", "F5: Transmitir", 41, RefreshPicture());
  SpeedButton1->setEnabled(false);
  SpeedButton2 = makeButton("SpeedButton2", "Esc: Cancelar", 250, CancelPicture());
  connect(SpeedButton1, &QToolButton::clicked, this, [this] { contexto_.Application.Run(this, [this] { SpeedButton1Click(); }); });
  connect(SpeedButton2, &QToolButton::clicked, this, [this] { contexto_.Application.Run(this, [this] { SpeedButton2Click(); }); });

  Panel5 = new QLabel(this);
  Panel5->setObjectName("Panel5");
  Panel5->setGeometry(8, 84, 337, 41);
  Panel5->setAlignment(Qt::AlignCenter);
  // A raised outer and a lowered inner bevel.
  Panel5->setFrameStyle(QFrame::Box | QFrame::Raised);
  Panel5->setLineWidth(1);
  Panel5->setMidLineWidth(0);
  Panel5->setAutoFillBackground(true);
  QFont statusFont = FormFont();
  statusFont.setPixelSize(13);
  Panel5->setFont(statusFont);
  // The form's background role is the button face, and a label draws with the
  // role that goes with its background unless told otherwise.
  QPalette pal = Panel5->palette();
  pal.setColor(QPalette::WindowText, QColor(0, 0, 128));
  Panel5->setPalette(pal);
  Panel5->setForegroundRole(QPalette::WindowText);
  Panel5->hide();

  // During a run, the window as it was last painted (SpeedButton1Click).
  Instantanea = new QLabel(this);
  Instantanea->setObjectName("Instantanea");
  Instantanea->setFocusPolicy(Qt::NoFocus);
  Instantanea->hide();

  // Tab order: the five inputs; everything else takes no focus.
  for (QWidget* w : std::initializer_list<QWidget*>{Panel2, Label2, GroupBox1, GroupBox2, Panel1, Panel5})
    w->setFocusPolicy(Qt::NoFocus);
  setTabOrder(Servidor, Tusua);
  setTabOrder(Tusua, TClave);
  setTabOrder(TClave, Cia);
  setTabOrder(Cia, EFecIni);
  // The form previews the keys of its inputs.
  for (QWidget* w : std::initializer_list<QWidget*>{Servidor, Tusua, TClave, Cia, EFecIni}) w->installEventFilter(this);
  Servidor->setFocus();
  LayoutBands();
}

void Tfconsopuntos::LayoutBands() {
  const int w = width();
  const int h = height();
  Panel2->setGeometry(0, 0, w, kPanel2Height);
  GroupBox1->setGeometry(0, kPanel2Height, w, kGroupBox1Height);
  const int top2 = kPanel2Height + kGroupBox1Height;
  GroupBox2->setGeometry(0, top2, w, std::max(0, h - kPanel1Height - top2));
  Panel1->setGeometry(0, h - kPanel1Height, w, kPanel1Height);
  Panel5->raise();
  if (Instantanea != nullptr && Instantanea->isVisible()) Instantanea->raise();
}

void Tfconsopuntos::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayoutBands();
}

void Tfconsopuntos::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Activation comes once: closing a dialog or switching applications does
  // not start the unattended run again. It waits until the window is on
  // screen, so that the run's status texts reach it.
  if (!activated_) {
    activated_ = true;
    if (QWindow* window = windowHandle())
      window->installEventFilter(this);
    else
      QueueFormActivate();
  }
}

void Tfconsopuntos::QueueFormActivate() {
  QMetaObject::invokeMethod(
      this, [this] { contexto_.Application.Run(this, [this] { FormActivate(); }); }, Qt::QueuedConnection);
}

void Tfconsopuntos::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LocaleChange) {
    contexto_.Formats = SettingsFromPlatform();
    EFecIni->setDisplayFormat(QtDateFormat(contexto_.Formats.shortDateFormat, contexto_.Formats.dateSeparator));
  }
  QWidget::changeEvent(event);
}

void Tfconsopuntos::closeEvent(QCloseEvent* event) {
  // A close asked for while a run works (the window system's, between the
  // run's calls) comes once the run has ended, as any other input.
  if (Instantanea->isVisible() && event->spontaneous()) {
    cierrePendiente_ = true;
    event->ignore();
    return;
  }
  // FormClose: the action is to free the form; closing is never refused.
  event->accept();
}

bool Tfconsopuntos::eventFilter(QObject* watched, QEvent* event) {
  if (auto* window = qobject_cast<QWindow*>(watched)) {
    // Runs after the expose has painted the window.
    if (event->type() == QEvent::Expose && window->isExposed()) {
      window->removeEventFilter(this);
      QueueFormActivate();
    }
    return QWidget::eventFilter(watched, event);
  }
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    FormKeyDown(key->key(), key->modifiers());
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) return Enteratab(static_cast<QWidget*>(watched));
    // Tab leaves the date field as it leaves the other inputs, instead of
    // stepping through the parts of the date.
    if (watched == EFecIni && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) &&
        (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
      focusNextPrevChild(key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier));
      return true;
    }
    return false;
  }
  if (watched == Cia && event->type() == QEvent::FocusOut) {
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
      QMetaObject::invokeMethod(
          this, [this] { contexto_.Application.Run(this, [this] { CiaExit(); }); }, Qt::QueuedConnection);
    }
  }
  return QWidget::eventFilter(watched, event);
}

// The key is never consumed here: the focused control still receives it.
bool Tfconsopuntos::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
  if (modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) return false;
  if (key == Qt::Key_F5) {
    // As a click: nothing while the button is disabled (no connection yet).
    if (SpeedButton1->isEnabled()) contexto_.Application.Run(this, [this] { SpeedButton1Click(); });
  } else if (key == Qt::Key_Escape) {
    contexto_.Application.Run(this, [this] { SpeedButton2Click(); });
  }
  return false;
}

// Enter moves the focus on as Tab would; the character is swallowed.
bool Tfconsopuntos::Enteratab(QWidget* /*control*/) {
  focusNextChild();
  return true;
}

void Tfconsopuntos::SpeedButton2Click() { close(); }

void Tfconsopuntos::SpeedButton1Click() {
  // While the run works the window keeps answering the window system and
  // shows what it last painted; input waits until the run ends.
  struct Congelada {
    explicit Congelada(Tfconsopuntos& f) : f_(f) {
      if (PlataformaSinPantalla() || !f_.isVisible()) return;
      f_.Instantanea->setGeometry(f_.rect());
      f_.Instantanea->setPixmap(f_.grab());
      f_.Instantanea->show();
      f_.Instantanea->raise();
      SetBusyHook([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    }
    ~Congelada() {
      SetBusyHook(nullptr);
      f_.Instantanea->hide();
      if (f_.cierrePendiente_) {
        f_.cierrePendiente_ = false;
        QMetaObject::invokeMethod(&f_, [w = &f_] { w->close(); }, Qt::QueuedConnection);
      }
    }
    Tfconsopuntos& f_;
  } congelada(*this);
  corridas_.Transmitir(dm_, *this, *CAcumulado, *CCliented, this);
}

std::string Tfconsopuntos::diraplicacion() {
  std::string value;
  if (contexto_.ApplicationDirectory(value) == platform::SettingLookup::kKeyMissing) {
    std::string buscados;
    for (const auto& file : platform::SettingsFiles()) {
      std::string name;
      if (!Utf8ToLatin1(file, name)) name = file;
      buscados += (buscados.empty() ? "" : ", ") + name;
    }
    ReportLine(contexto_.Application.Title + ": Falta la configuración; archivos buscados: "_l1 + buscados);
    contexto_.Application.MessageBox(
        "No se encontró la Clave HKEY_LOCAL_MACHINE\\Software\\Quenda\\Varnex2009\\Directorio"_l1);
    return {};
  }
  return value;
}

void Tfconsopuntos::FormCreate() {
  ServerList.clear();
  std::string bytes;
  if (platform::ReadFile(diraplicacion() + "\\SERVIDORES.cfg", bytes)) ServerList = ParseServerList(bytes);
  SetServerEntries(ServerList);
}

void Tfconsopuntos::SetServerEntries(const std::vector<std::string>& entries) {
  Servidor->clear();
  for (const auto& e : entries) Servidor->addItem(ToDisplay(e), QByteArray::fromStdString(e));
  Servidor->setCurrentIndex(entries.empty() ? -1 : 0);
}

std::string Tfconsopuntos::ServidorText() const {
  if (Servidor->currentIndex() < 0) return {};
  return Servidor->currentData().toByteArray().toStdString();
}
std::string Tfconsopuntos::TusuaText() const { return FromControl(Tusua->text()); }
std::string Tfconsopuntos::TClaveText() const { return FromControl(TClave->text()); }
std::string Tfconsopuntos::CiaText() const { return FromControl(Cia->text()); }

Date Tfconsopuntos::FechaTransmision() const { return fecha_; }

void Tfconsopuntos::SetFechaTransmision(const Date& date) {
  fecha_ = date;
  const QDate shown(date.year, date.month, date.day);
  settingDate_ = true;
  if (shown >= EFecIni->minimumDate()) {
    EFecIni->setSpecialValueText({});
    EFecIni->setDate(shown);
  } else {
    // Shown at the field's minimum, which displays the special text instead.
    EFecIni->setSpecialValueText(ToDisplay(DateToStr(DateTime{date, {}}, contexto_.Formats)));
    EFecIni->setDate(EFecIni->minimumDate());
  }
  settingDate_ = false;
}

void Tfconsopuntos::SetStatusText(const std::string& text) {
  statusText_ = text;
  Panel5->setText(ToDisplay(text));
  emit statusChanged(Panel5->text(), Panel5->isVisible(), false);
}

void Tfconsopuntos::ShowStatus(const std::string& text) {
  statusText_ = text;
  Panel5->setText(ToDisplay(text));
  Panel5->show();
  Panel5->raise();
  const bool congelada = Instantanea->isVisible();
  if (congelada) Instantanea->hide();
  repaint();
  if (congelada) {
    // What the screen shows now, until the next repaint.
    Instantanea->setPixmap(grab());
    Instantanea->show();
    Instantanea->raise();
  }
  emit statusChanged(Panel5->text(), true, true);
}

void Tfconsopuntos::HideStatus() {
  Panel5->hide();
  emit statusChanged(Panel5->text(), false, false);
}

void Tfconsopuntos::CiaExit() {
  if (CiaText().empty() || TusuaText().empty() || TClaveText().empty()) return;
  ShowStatus("Conectando a la base de datos " + CiaText() + " ...");
  TSQLConnection* varnex = dm_.Varnex;
  varnex->SetConnected(false);
  varnex->Params().SetValue("Database", ServidorText() + "/datos/" + CiaText() + "/varnex.fdb");
  varnex->Params().SetValue("User_Name", TusuaText());
  varnex->Params().SetValue("password", TClaveText());
  varnex->SetConnected(true);
  dm_.ConfigurarProviders(this);
  EFecIni->setEnabled(true);
  SetFechaTransmision(Now().date);
  if (!contexto_.ParamStr(11).empty())
    SetFechaTransmision(ArgumentDate(contexto_.ParamStr(11), contexto_.Formats));
  HideStatus();
  EFecIni->setFocus(Qt::OtherFocusReason);
  SpeedButton1->setEnabled(true);
}

void Tfconsopuntos::FormActivate() {
  if (contexto_.ParamStr(10).empty()) return;
  corridas_.Iniciar(*this);
  try {
    SetServerEntries({contexto_.ParamStr(1)});
    // The arguments are internal text: they come back unchanged.
    Tusua->setText(ToDisplay(contexto_.ParamStr(2)));
    TClave->setText(ToDisplay(contexto_.ParamStr(3)));
    Cia->setText(ToDisplay(contexto_.ParamStr(4)));
    CiaExit();
    // Connecting is synchronous: the connection is open or the connect raised.
    if (dm_.Varnex->ConnectionState() == csOpen)
      SpeedButton1Click();
    else
      corridas_.Terminar(TFinCorrida::kError);
  } catch (...) {
    corridas_.Terminar(TFinCorrida::kError);  // nothing when the run wrote its line
    throw;
  }
}
