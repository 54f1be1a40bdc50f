// The main window: the inputs of a run, the status panel, F5 and Esc, the
// application directory and the server list, the company connection and the
// unattended start. The run itself is TTransmision's, its start and end
// TCorridas'. GUI thread only; every handler runs under the application
// object.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "consopuntos/corridas.h"
#include "consopuntos/servidores.h"
#include "consopuntos/transmision.h"
#include "dbaccess/clientdataset.h"
#include "dm/dm.h"

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
  // The data module and the runs outlive the window.
  Tfconsopuntos(Tfdm& dm, TCorridas& corridas, QWidget* parent = nullptr);
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
  QLabel* Instantanea = nullptr;  // the last painted window, over it while a run works

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

  Tfdm& dm_;
  TContext& contexto_;
  TCorridas& corridas_;
  std::string statusText_;
  bool activated_ = false;
  dbx::Date fecha_{2003, 1, 20};  // the transmission date; the field shows it
  bool settingDate_ = false;
  bool cierrePendiente_ = false;  // the window system asked to close during a run
};

// The single main form (the program's entry sets it).
extern Tfconsopuntos* fconsopuntos;
