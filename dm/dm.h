// The data module: the two connections, the statements, providers and client
// datasets of the run, the configuration lookup and the error reporter's
// handlers (the reporter itself: reporter.h). GUI thread only.
#pragma once

#include <exception>
#include <string>

#include "dbaccess/clientdataset.h"
#include "dbaccess/sqlconnection.h"
#include "dm/context.h"

class Tfdm : public dbx::TComponent {
 public:
  // The context outlives the data module.
  explicit Tfdm(TContext& context, dbx::TComponent* owner = nullptr);
  ~Tfdm() override;

  // Main database.
  dbx::TSQLConnection* Varnex;
  dbx::TSQLQuery* QConfiguracion;
  dbx::TDataSetProvider* PConfiguracion;
  dbx::TClientDataSet* CConfiguracion;
  dbx::TSQLTable* TReplica;
  dbx::TDataSetProvider* PReplica;
  dbx::TClientDataSet* CReplica;
  dbx::TField* CReplicaRPCO_COD;
  dbx::TField* CReplicaRPCP_NOMBRE;
  dbx::TField* CReplicaRPCO_SERVIDOR;
  dbx::TField* CReplicaRPCO_ERRO;
  dbx::TSQLQuery* QBorrar;
  dbx::TSQLQuery* QPuntosacum;
  dbx::TSQLQuery* QClientesd;

  // Branch database.
  dbx::TSQLConnection* ConReplica;
  dbx::TSQLQuery* QPuntoscli;
  dbx::TDataSetProvider* PPuntoscli;
  dbx::TClientDataSet* CPuntoscli;
  dbx::TField* CPuntoscliCLIENTE;
  dbx::TField* CPuntoscliPTACUM;
  dbx::TField* CPuntoscliPTVENCER;
  dbx::TSQLQuery* QClientes;
  dbx::TDataSetProvider* PClientes;
  dbx::TClientDataSet* CClientes;
  dbx::TSQLQuery* QAcumulado;
  dbx::TSQLQuery* QBorrarep;

  // Creation handler: installs ENoManejada as the application's handler.
  void DataModuleCreate(dbx::TComponent* Sender);

  // Gives the providers and client datasets below root the error handlers and
  // sets the client datasets' packet size; descends into components that own
  // components.
  void ConfigurarProviders(dbx::TComponent* root);

  // The error reporter: logs the raw message to "\ERRORES.TXT", beeps and
  // shows the Spanish text in the modal error dialog. Response becomes rrAbort.
  void ManejarError(dbx::TComponent* Sender, dbx::TClientDataSet* DataSet, const std::exception& E,
                    dbx::TUpdateKind UpdateKind, dbx::TResolverResponse& Response);
  // Edit, post and delete failures of the form's client datasets.
  void ManejarClientError(dbx::TClientDataSet& DataSet, const dbx::EDatabaseError& E, dbx::TDataAction& Action);
  // Exceptions that nothing else catches.
  void ENoManejada(dbx::TComponent* Sender, const std::exception& E);

  // The value of a setting of CONFIGURACION, or empty text (after the
  // not-found dialog) when no row matches.
  std::string configuracion(const std::string& modulo, const std::string& categoria, const std::string& propiedad);

  [[nodiscard]] TContext& Context() const noexcept { return context_; }

 private:
  // The client datasets' locale settings and handler for exceptions.
  void ConfigurarConjunto(dbx::TClientDataSet* client);

  TContext& context_;
};

// The single data module instance (the program's entry sets it).
extern Tfdm* fdm;
