#include "window_testing.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>
#include <filesystem>
#include <cstdlib>
#include <fstream>

#include "dbaccess/locale.h"

namespace wintest {

QString Describe(const testsupport::RecordingUi& ui) {
  QString out = QStringLiteral("dialogs:");
  for (const auto& e : ui.events) out += QStringLiteral("\n  ") + QString::fromStdString(e);
  return out;
}

QString Describe(const std::vector<StatusStep>& steps) {
  QString out = QStringLiteral("status steps:");
  for (const auto& s : steps)
    out += QStringLiteral("\n  [%1%2] %3")
               .arg(s.visible ? QStringLiteral("visible") : QStringLiteral("hidden"),
                    s.repainted ? QStringLiteral(", repainted") : QString(), s.text);
  return out;
}

bool KeyProbe::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Shift && key != Qt::Key_Control && key != Qt::Key_Alt && key != Qt::Key_Meta)
      keys.push_back(key);
  }
  return QObject::eventFilter(watched, event);
}

WindowSession::WindowSession(std::vector<std::string> args)
    : scratch_(std::make_unique<testsupport::ScratchDir>()),
      appDir_(scratch_->Path("app")),
      configDir_(scratch_->Path("xdg")) {
  std::filesystem::create_directories(appDir_);
  std::filesystem::create_directories(configDir_ + "/Quenda");
  xdg_.emplace("XDG_CONFIG_DIRS", configDir_);
  SetDirectorio(appDir_);
  context_.CommandLine = TCommandLine(std::move(args));
  context_.Formats = dbx::SettingsFromPlatform();
  dm_ = std::make_unique<Tfdm>(context_);
}

WindowSession::~WindowSession() {
  delete form_.data();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  dm_.reset();
}

void WindowSession::SetDirectorio(const std::optional<std::string>& value) {
  const std::string file = configDir_ + "/Quenda/Varnex2009.conf";
  if (!value) {
    std::filesystem::remove(file);
    return;
  }
  // The runs of a session go one statement per row when the test is told so.
  const char* filas = std::getenv("CONSOPUNTOS_TEST_FILAS_POR_LOTE");
  testsupport::WriteFile(file, "Directorio=" + *value + "\n" + (filas != nullptr ? "FilasPorLote=" + std::string(filas) + "\n" : ""));
}

void WindowSession::WriteServerList(const std::string& bytes) const {
  testsupport::WriteFile(appDir_ + "/SERVIDORES.cfg", bytes);
}

Tfconsopuntos* WindowSession::Create() {
  auto* form = new Tfconsopuntos(*dm_, corridas_);
  form_ = form;
  formObject_ = form;
  form->installEventFilter(this);
  connect(form_.data(), &Tfconsopuntos::statusChanged, this, [this] {
    steps_.push_back(StatusStep{form_->Panel5->text(), form_->Panel5->isVisible(), paints_ > 0});
    paints_ = 0;
  });
  return form_.data();
}

bool WindowSession::Show() {
  // The activation handler may run a whole run that closes the window.
  form_->show();
  form_->activateWindow();
  for (int i = 0; i < 500 && !form_.isNull() && !form_->isActiveWindow(); ++i) QTest::qWait(10);
  if (!form_.isNull() && !form_->isActiveWindow()) return false;
  Settle();
  return true;
}

void WindowSession::ClearSteps() {
  steps_.clear();
  paints_ = 0;
}

void WindowSession::Probe(QWidget* control) {
  control->removeEventFilter(form_.data());
  control->installEventFilter(&probe);
  control->installEventFilter(form_.data());  // the last installed filter sees the event first
}

void WindowSession::Settle(int ms) {
  QCoreApplication::processEvents();
  QTest::qWait(ms);
}

bool WindowSession::eventFilter(QObject* watched, QEvent* event) {
  // Compared as a QObject: the form sends events while it is destroyed.
  if (event->type() == QEvent::Paint && !form_.isNull() && watched == static_cast<QObject*>(formObject_)) ++paints_;
  return QObject::eventFilter(watched, event);
}

QString FocusName() {
  static const QStringList inputs{"Servidor", "Tusua", "TClave", "Cia", "EFecIni"};
  QWidget* w = QApplication::focusWidget();
  if (w == nullptr) return QStringLiteral("<none>");
  for (QWidget* p = w; p != nullptr; p = p->parentWidget())
    if (inputs.contains(p->objectName())) return p->objectName();
  return w->objectName();
}

}  // namespace wintest
