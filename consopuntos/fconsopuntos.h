// The main window: the inputs of a run, the status panel, F5 and Esc, and the
// transmission run with its two walks over the replica list.
// GUI thread only; every handler runs under the application object.
#pragma once

#include <QWidget>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "consopuntos/historial.h"
#include "consopuntos/servidores.h"
#include "consopuntos/transmision.h"
#include "dbaccess/clientdataset.h"

class QComboBox;
class QDateEdit;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QToolButton;

class Tfconsopuntos : public QWidget, public dbx::TComponent, public TVentanaTransmision {
  Q_OBJECT

 public:
  explicit Tfconsopuntos(QWidget* parent = nullptr);
  ~Tfconsopuntos() override;

  // Controls.
  QFrame* Panel2;
  QLabel* Label2;
  QGroupBox* GroupBox1;
  QComboBox* Servidor;
  QLineEdit* Tusua;
  QLineEdit* TClave;
  QLineEdit* Cia;
  QGroupBox* GroupBox2;
  QLabel* Label4;
  QDateEdit* EFecIni;
  QFrame* Panel1;
  QToolButton* SpeedButton1;
  QToolButton* SpeedButton2;
  QLabel* Panel5;

  // Data components of the form.
  dbx::TDataSetProvider* PAcumulado;
  dbx::TClientDataSet* CAcumulado;
  dbx::TDataSetProvider* PCliented;
  dbx::TClientDataSet* CCliented;

  // The server list read from SERVIDORES.cfg.
  std::vector<std::string> ServerList;

  // Handlers.
  void FormCreate();
  void FormActivate();
  void CiaExit();
  void SpeedButton1Click();
  void SpeedButton2Click();
  [[nodiscard]] std::string diraplicacion() override;

  // Texts of the inputs, internal.
  [[nodiscard]] std::string ServidorText() const override;
  [[nodiscard]] std::string TusuaText() const override;
  [[nodiscard]] std::string TClaveText() const override;
  [[nodiscard]] std::string CiaText() const override;
  void SetServerEntries(const std::vector<std::string>& entries);
  // The transmission date.
  [[nodiscard]] dbx::Date FechaTransmision() const override;
  void SetFechaTransmision(const dbx::Date& date);

  // Status panel: the exact text, and every text it was given (for watchers).
  [[nodiscard]] const std::string& StatusText() const noexcept { return statusText_; }
  void SetStatusText(const std::string& text) override;
  void ShowStatus(const std::string& text) override;  // text, show, repaint at once
  void HideStatus() override;
  void Cerrar() override { close(); }

  // Nobody sees the window (a platform that shows nothing): a start or run
  // that an error stops ends the program instead of waiting for a user.
  bool SinPantalla = false;
  // The run or unattended start in progress, if any, ends by a stop signal:
  // its history line. Called by the stop, on the GUI thread.
  void DetenidaPorSenal() noexcept;

 signals:
  void statusChanged(const QString& text, bool visible, bool repainted);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void LayoutBands();
  bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
  bool Enteratab(QWidget* control);
  void QueueFormActivate();
  // A run (F5) or an unattended start begins and ends: the history line,
  // and the exit status of an unattended start.
  void IniciarCorrida();
  void TerminarCorrida(TFinCorrida fin) noexcept;

  std::string statusText_;
  bool activated_ = false;
  dbx::Date fecha_{2003, 1, 20};  // the transmission date; the field shows it
  bool settingDate_ = false;
  struct CorridaEnCurso {
    std::chrono::steady_clock::time_point inicio;
    const TTransmision* transmision = nullptr;  // once the run itself began
  };
  std::optional<CorridaEnCurso> corrida_;
};

// The single main form.
extern Tfconsopuntos* fconsopuntos;

// The program's exit status: 0, or what the last run of an unattended start
// came to (TerminarCorrida).
[[nodiscard]] int EstadoSalidaPrograma() noexcept;

// Internal text (ISO-8859-1) as the toolkit shows it: the one conversion to
// the toolkit. What the inputs hold comes back with QString::toLatin1.
[[nodiscard]] QString ToDisplay(const std::string& text);
[[nodiscard]] QString ToDisplay(const char* text);
