// Helpers of the window tests: a user interface that answers without a
// person, a configured application directory, the data module and the main
// form, and watchers for the status panel and the keys.
#pragma once

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "consopuntos/corridas.h"
#include "consopuntos/fconsopuntos.h"
#include "dm/dm.h"
#include "support/context.h"
#include "support/dbfixture.h"
#include "support/files.h"

namespace wintest {

// The dialogs recorded, for failure messages.
QString Describe(const testsupport::RecordingUi& ui);

// One text the status panel was given, with what the screen showed then.
struct StatusStep {
  QString text;    // the panel's text
  bool visible;    // the panel was visible
  bool repainted;  // the window was painted since the step before
  friend bool operator==(const StatusStep&, const StatusStep&) = default;
};
QString Describe(const std::vector<StatusStep>& steps);

// Sees the keys that reach a control after the form's preview.
class KeyProbe : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override;
  std::vector<int> keys;  // key codes of the key presses that got through
};

// A session of the window: application directory and its setting, the
// program's context with its recorded dialogs, the runs, the data module,
// the form, and its watchers. Removes them all when it goes.
class WindowSession : public QObject {
 public:
  // args is the command line (position 0 first).
  explicit WindowSession(std::vector<std::string> args = {"consopuntos"});
  ~WindowSession() override;
  WindowSession(const WindowSession&) = delete;
  WindowSession& operator=(const WindowSession&) = delete;

  // The application directory the setting names by default.
  [[nodiscard]] const std::string& AppDir() const noexcept { return appDir_; }
  // Writes the setting file with Directorio=value; nullopt removes the file
  // (the key is missing).
  void SetDirectorio(const std::optional<std::string>& value);
  // Writes AppDir()/SERVIDORES.cfg.
  void WriteServerList(const std::string& bytes) const;

  [[nodiscard]] TContext& Context() noexcept { return context_; }
  [[nodiscard]] testsupport::RecordingUi& Ui() noexcept { return context_.ui; }
  [[nodiscard]] Tfdm& Dm() noexcept { return *dm_; }
  [[nodiscard]] TCorridas& Corridas() noexcept { return corridas_; }

  // Creates the form (FormCreate runs) and starts watching it.
  Tfconsopuntos* Create();
  // Shows and activates the window; the activation handler has run on return.
  bool Show();
  [[nodiscard]] Tfconsopuntos* Form() const { return form_.data(); }
  [[nodiscard]] bool FormGone() const { return form_.isNull(); }

  // Status panel texts since the last ClearSteps.
  [[nodiscard]] const std::vector<StatusStep>& Steps() const noexcept { return steps_; }
  void ClearSteps();

  // Puts the probe behind the form's key preview on a control.
  void Probe(QWidget* control);
  KeyProbe probe;

  // Lets queued handlers run.
  static void Settle(int ms = 30);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::unique_ptr<testsupport::ScratchDir> scratch_;
  std::string appDir_;
  std::string configDir_;
  std::optional<testsupport::ScopedEnv> xdg_;
  testsupport::RecordingContext context_;
  TCorridas corridas_{context_};
  std::unique_ptr<Tfdm> dm_;
  QPointer<Tfconsopuntos> form_;
  QObject* formObject_ = nullptr;
  std::vector<StatusStep> steps_;
  int paints_ = 0;
};

// The name of the widget that has the keyboard focus (an inner editor counts
// as its input).
QString FocusName();

}  // namespace wintest
