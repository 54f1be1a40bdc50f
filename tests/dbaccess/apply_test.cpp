// Applying inserted rows: one transaction per apply, rejected rows reported
// to the provider's handler and kept in the change log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cds_env.h"
#include "dbaccess/clientdataset.h"
#include "dbaccess/encoding.h"

using namespace dbx;
using cdstest::MessageOf;

namespace {

struct UpdateErrorCall {
  std::string message;
  TUpdateKind kind;
  int previousError;
  std::string key;  // first field of the failed row, as the delta shows it
  bool senderIsProvider;
  TErrorCategory category = TErrorCategory::kOther;
};

class ApplyTest : public cdstest::ClientDataSetEnv {
 protected:
  void SetUp() override {
    ClientDataSetEnv::SetUp();
    testsupport::RunSql(database, "insert into TERCEROS (TERC_NIT, TERC_NOMBRE) values ('100', 'Existente')");
    OpenOn("SELECT * FROM TERCEROS WHERE TERC_NIT = '0'");
  }

  // Inserts and posts a TERCEROS row with the given key and name.
  void PostTercero(const std::string& nit, const std::string& name = "Nombre") {
    cds->Insert();
    cds->FieldByName("TERC_NIT").SetValue(Variant{nit});
    cds->FieldByName("TERC_NOMBRE").SetValue(Variant{name});
    cds->FieldByName("TERC_TIPO").SetValue(Variant{std::string("N")});
    cds->Post();
  }

  // Records every call of the provider's handler and answers with response.
  void AnswerUpdateErrors(TResolverResponse response) {
    provider->OnUpdateError = [this, response](TComponent* sender, TClientDataSet& delta, const EUpdateError& e,
                                               TUpdateKind kind, TResolverResponse& answer) {
      calls.push_back({e.what(), kind, e.PreviousError(), delta.Fields(0).AsString(), sender == provider, e.Category()});
      EXPECT_EQ(1, e.ErrorCode());
      // The error carries the exception the row's statement raised.
      try {
        std::rethrow_exception(e.OriginalException());
      } catch (const EDatabaseError& original) {
        EXPECT_STREQ(e.what(), original.what());
        // and the server's identity of it.
        EXPECT_EQ(original.Server().codes, e.Server().codes);
        EXPECT_EQ(original.Server().sqlState, e.Server().sqlState);
        EXPECT_EQ(original.Category(), e.Category());
      }
      answer = response;
    };
  }

  std::string Nits() { return testsupport::QueryText(database, "select TERC_NIT from TERCEROS order by TERC_NIT"); }

  std::vector<UpdateErrorCall> calls;
};

TEST_F(ApplyTest, EmptyChangeLogSendsNoRequest) {
  provider->Options |= poReadOnly;  // any request would fail
  EXPECT_EQ(0, cds->ApplyUpdates(0));
  EXPECT_FALSE(connection->InTransaction());
  EXPECT_TRUE(provider->LastApply().resolved.empty());
}

TEST_F(ApplyTest, AcceptedRowIsCommittedAndStaysInTheDataSet) {
  AnswerUpdateErrors(rrAbort);
  PostTercero("200", "Nuevo");
  EXPECT_EQ(0, cds->ApplyUpdates(0));
  EXPECT_TRUE(calls.empty());
  EXPECT_FALSE(connection->InTransaction());
  EXPECT_EQ(0, cds->ChangeCount());
  EXPECT_TRUE(cds->LastApplyErrors().empty());
  EXPECT_EQ(1, cds->RecordCount());
  EXPECT_EQ("200", cds->FieldByName("TERC_NIT").AsString());
  EXPECT_EQ("100\n200", Nits());  // seen from another attachment
  // Unassigned columns took their defaults.
  EXPECT_EQ("N|1", testsupport::QueryText(database,
                                          "select TERC_TIPO, iif(TERC_CREADO is null, 0, 1) "
                                          "from TERCEROS where TERC_NIT = '200'"));
}

TEST_F(ApplyTest, DuplicateKeyIsRolledBackReportedAndBlocksLaterApplies) {
  AnswerUpdateErrors(rrAbort);
  PostTercero("100");
  EXPECT_EQ(1, cds->ApplyUpdates(0));
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ(ukInsert, calls[0].kind);
  EXPECT_EQ(0u, calls[0].message.rfind("SQL Server Error: ", 0)) << calls[0].message;
  EXPECT_EQ("100", calls[0].key);
  EXPECT_TRUE(calls[0].senderIsProvider);
  EXPECT_EQ(0, calls[0].previousError);
  EXPECT_EQ(TErrorCategory::kConstraint, calls[0].category);
  EXPECT_FALSE(connection->InTransaction());
  ASSERT_EQ(1u, cds->LastApplyErrors().size());
  EXPECT_EQ(1, cds->LastApplyErrors()[0].row);
  EXPECT_EQ(rrAbort + 1, cds->LastApplyErrors()[0].response);
  EXPECT_EQ(calls[0].message, cds->LastApplyErrors()[0].message);
  EXPECT_EQ(1, cds->ChangeCount());

  // The rejected row goes first again; the new row is never attempted.
  PostTercero("300");
  EXPECT_EQ(1, cds->ApplyUpdates(0));
  ASSERT_EQ(2u, calls.size());
  EXPECT_EQ("100", calls[1].key);
  EXPECT_EQ(2, cds->ChangeCount());
  EXPECT_EQ("100", Nits());

  cds->Close();
  cds->Open();
  EXPECT_EQ(0, cds->ChangeCount());
  EXPECT_EQ(0, cds->ApplyUpdates(0));
}

// A handler that runs a statement of its own on the apply's connection runs
// it inside the apply's transaction, which the failure rolls back, also for
// an apply of one row.
TEST_F(ApplyTest, HandlerStatementsRunInTheApplysTransaction) {
  provider->OnUpdateError = [this](TComponent*, TClientDataSet&, const EUpdateError&, TUpdateKind,
                                   TResolverResponse& response) {
    EXPECT_TRUE(connection->InTransaction());
    connection->Execute("insert into TERCEROS (TERC_NIT, TERC_TIPO, TERC_NOMBRE) values ('999', 'N', 'Manejador')", {});
    response = rrAbort;
  };
  PostTercero("100");
  EXPECT_EQ(1, cds->ApplyUpdates(0));
  EXPECT_FALSE(connection->InTransaction());
  EXPECT_EQ("100", Nits());
}

TEST_F(ApplyTest, RollbackUndoesEarlierRowsAndKeepsTheWholeChangeLog) {
  PostTercero("200");
  PostTercero("100");  // no handler: recorded without a message
  PostTercero("300");
  EXPECT_EQ(1, cds->ApplyUpdates(0));
  EXPECT_EQ("100", Nits());
  EXPECT_EQ(3, cds->ChangeCount());
  ASSERT_EQ(1u, cds->LastApplyErrors().size());
  EXPECT_EQ(2, cds->LastApplyErrors()[0].row);
  EXPECT_EQ(std::vector<bool>({true, false, false}), provider->LastApply().resolved);

  // Dropping the pending rows lets the next row through.
  cds->CancelUpdates();
  EXPECT_EQ(0, cds->RecordCount());
  PostTercero("400");
  EXPECT_EQ(0, cds->ApplyUpdates(0));
  EXPECT_EQ("100\n400", Nits());
}

TEST_F(ApplyTest, IgnoredRowCountsAsApplied) {
  AnswerUpdateErrors(rrIgnore);
  PostTercero("200");
  PostTercero("100");
  EXPECT_EQ(0, cds->ApplyUpdates(0));
  EXPECT_EQ(1u, calls.size());
  EXPECT_EQ(0, cds->ChangeCount());
  EXPECT_TRUE(cds->LastApplyErrors().empty());
  EXPECT_EQ("100\n200", Nits());
}

TEST_F(ApplyTest, MergeIsAnInvalidAnswerForAnInsertedRow) {
  int answers = 0;
  provider->OnUpdateError = [&](TComponent*, TClientDataSet&, const EUpdateError& e, TUpdateKind,
                                TResolverResponse& response) {
    calls.push_back({e.what(), ukInsert, e.PreviousError(), {}, true});
    response = ++answers == 1 ? rrMerge : rrAbort;
  };
  PostTercero("100");
  EXPECT_EQ(1, cds->ApplyUpdates(0));
  ASSERT_EQ(2u, calls.size());
  EXPECT_EQ(0u, calls[0].message.rfind("SQL Server Error: ", 0));
  EXPECT_EQ("Respuesta inválida"_l1, calls[1].message);
  EXPECT_EQ(1, calls[1].previousError);
  ASSERT_EQ(1u, cds->LastApplyErrors().size());
  EXPECT_EQ("Respuesta inválida"_l1, cds->LastApplyErrors()[0].message);
}

TEST_F(ApplyTest, NullAssignmentsAreSentAndUnassignedFieldsLeftOut) {
  PostTercero("200");
  cds->Insert();
  for (int i = 0; i < cds->FieldCount(); ++i) cds->Fields(i).SetValue(Variant{});  // null, but assigned
  cds->FieldByName("TERC_NIT").SetValue(Variant{std::string("201")});
  cds->FieldByName("TERC_TIPO").SetValue(Variant{std::string("J")});
  cds->FieldByName("TERC_NOMBRE").SetValue(Variant{std::string("Con nulos")});
  cds->Post();
  EXPECT_EQ(0, cds->ApplyUpdates(0));
  EXPECT_EQ("200|1\n201|0", testsupport::QueryText(database,
                                                   "select TERC_NIT, iif(TERC_CREADO is null, 0, 1) from TERCEROS "
                                                   "where TERC_NIT > '100' order by 1"));
}

TEST_F(ApplyTest, LaterAppliesWriteTheirOwnColumnsAndTable) {
  // Same table, fewer columns than the apply before: the left-out ones take
  // their defaults; then every column again, nulls included.
  cds->Insert();
  for (int i = 0; i < cds->FieldCount(); ++i) cds->Fields(i).SetValue(Variant{});
  cds->FieldByName("TERC_NIT").SetValue(Variant{std::string("300")});
  cds->FieldByName("TERC_TIPO").SetValue(Variant{std::string("J")});
  cds->FieldByName("TERC_NOMBRE").SetValue(Variant{std::string("Todas")});
  ASSERT_EQ(0, cds->ApplyUpdates(0));
  PostTercero("301", "Algunas");
  ASSERT_EQ(0, cds->ApplyUpdates(0));
  EXPECT_EQ("300|J|0\n301|N|1", testsupport::QueryText(database,
                                                       "select TERC_NIT, TERC_TIPO, iif(TERC_CREADO is null, 0, 1) "
                                                       "from TERCEROS where TERC_NIT >= '300' order by 1"));

  // The same client and provider reopened on another table write there.
  cds->Close();
  OpenOn("SELECT * FROM CLIENTES WHERE TERC_NIT = '0'");
  cds->Insert();
  cds->FieldByName("TERC_NIT").SetValue(Variant{std::string("301")});
  cds->FieldByName("CLIE_CATEGORIA").SetValue(Variant{std::string("B")});
  cds->FieldByName("CLIE_ZONA").SetValue(Variant{std::string("Norte")});
  ASSERT_EQ(0, cds->ApplyUpdates(0));
  EXPECT_EQ("301|B|Norte",
            testsupport::QueryText(database, "select TERC_NIT, CLIE_CATEGORIA, CLIE_ZONA from CLIENTES"));
  EXPECT_EQ("100\n300\n301", Nits());
}

TEST_F(ApplyTest, ApplyStartedByAHandlerLeavesTheOuterDeltaWhole) {
  // The handler of the first failure drops the client's changes, posts
  // another row and applies the client again, inside the outer apply's
  // transaction; the outer apply still writes the rest of its own delta.
  bool nested = false;
  provider->OnUpdateError = [&](TComponent*, TClientDataSet&, const EUpdateError&, TUpdateKind,
                                TResolverResponse& response) {
    if (!nested) {
      nested = true;
      cds->CancelUpdates();
      PostTercero("400", "Anidado");
      cds->ApplyUpdates(-1);
    }
    response = rrSkip;
  };
  PostTercero("100", "Repetido");
  PostTercero("300", "Tres");
  EXPECT_EQ(1, cds->ApplyUpdates(-1));
  EXPECT_TRUE(nested);
  EXPECT_EQ(std::vector<bool>({false, true}), provider->LastApply().resolved);  // the outer apply's own rows
  EXPECT_EQ(0, cds->ChangeCount());
  EXPECT_EQ("Existente\nTres\nAnidado",
            testsupport::QueryText(database, "select TERC_NOMBRE from TERCEROS order by TERC_NIT"));
}

TEST_F(ApplyTest, ConstraintRejections) {
  AnswerUpdateErrors(rrAbort);
  // NOT NULL column left null once the client no longer checks it.
  cds->FieldByName("TERC_NOMBRE").SetRequired(false);
  cds->Insert();
  cds->FieldByName("TERC_NIT").SetValue(Variant{std::string("500")});
  cds->FieldByName("TERC_TIPO").SetValue(Variant{std::string("N")});
  cds->Post();
  EXPECT_EQ(1, cds->ApplyUpdates(0));
  ASSERT_EQ(1u, calls.size());
  EXPECT_NE(std::string::npos, calls[0].message.find("TERC_NOMBRE")) << calls[0].message;
  cds->Close();

  // Foreign key to TERCEROS.
  OpenOn("SELECT * FROM CLIENTES WHERE TERC_NIT = '0'");
  cds->Insert();
  cds->FieldByName("TERC_NIT").SetValue(Variant{std::string("999")});
  cds->FieldByName("CLIE_CATEGORIA").SetValue(Variant{std::string("A")});
  cds->Post();
  EXPECT_EQ(1, cds->ApplyUpdates(0));
  ASSERT_EQ(2u, calls.size());
  EXPECT_NE(std::string::npos, calls[1].message.find("FK_CLIENTES_TERCEROS")) << calls[1].message;
  EXPECT_EQ("", testsupport::QueryText(database, "select TERC_NIT from CLIENTES"));
}

TEST_F(ApplyTest, WithoutLimitFailedRowsAreSkippedAndTheRestCommitted) {
  std::vector<TReconcileAction> defaults;
  cds->OnReconcileError = [&](TClientDataSet&, const EReconcileError& e, TUpdateKind kind, TReconcileAction& action) {
    EXPECT_EQ(ukInsert, kind);
    EXPECT_EQ(0u, std::string(e.what()).rfind("SQL Server Error: ", 0));
    defaults.push_back(action);
  };
  PostTercero("100");
  PostTercero("200");
  PostTercero("100", "Otro");
  EXPECT_EQ(2, cds->ApplyUpdates(-1));
  EXPECT_EQ(std::vector<TReconcileAction>({raSkip, raSkip}), defaults);
  EXPECT_EQ("100\n200", Nits());
  EXPECT_EQ(2, cds->ChangeCount());
  ASSERT_EQ(2u, cds->LastApplyErrors().size());
  EXPECT_EQ(rrSkip + 1, cds->LastApplyErrors()[1].response);
  EXPECT_EQ(3, cds->LastApplyErrors()[1].row);
}

TEST_F(ApplyTest, ReconcileHandlerExceptionEndsTheReconcile) {
  int reconciled = 0;
  cds->OnReconcileError = [&](TClientDataSet&, const EReconcileError&, TUpdateKind, TReconcileAction&) {
    ++reconciled;
    throw EDatabaseError("en el manejador");
  };
  PostTercero("100");
  PostTercero("100", "Otro");
  EXPECT_EQ(2, cds->ApplyUpdates(-1));
  EXPECT_EQ(1, reconciled);
  EXPECT_EQ(2, cds->ChangeCount());
}

TEST_F(ApplyTest, FailuresNotTiedToARowReachTheCaller) {
  PostTercero("200");
  provider->Options |= poReadOnly;
  EXPECT_EQ("No es posible aplicar actualizaciones a un proveedor de sólo lectura"_l1,
            MessageOf<EOleException>([&] { cds->ApplyUpdates(0); }));
  EXPECT_EQ(1, cds->ChangeCount());
  provider->Options &= ~poReadOnly;

  // A handler that raises: the apply's transaction is rolled back.
  provider->OnUpdateError = [](TComponent*, TClientDataSet&, const EUpdateError&, TUpdateKind, TResolverResponse&) {
    throw EDatabaseError("Fallo del manejador.");
  };
  PostTercero("100");
  EXPECT_EQ("Fallo del manejador", MessageOf<EOleException>([&] { cds->ApplyUpdates(0); }));
  EXPECT_FALSE(connection->InTransaction());
  EXPECT_EQ("100", Nits());
  EXPECT_EQ(2, cds->ChangeCount());
}

TEST_F(ApplyTest, StatementWithoutTableNameFailsEveryRow) {
  AnswerUpdateErrors(rrAbort);
  PostTercero("200");
  query->SQL().SetText("EXECUTE PROCEDURE NADA");
  EXPECT_EQ(1, cds->ApplyUpdates(0));
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ("No es posible resolver registros. Nombre de tabla no encontrado.", calls[0].message);
  EXPECT_EQ("100", Nits());
}

TEST_F(ApplyTest, PendingInsertIsPostedFirst) {
  cds->Insert();
  cds->FieldByName("TERC_NIT").SetValue(Variant{std::string("700")});
  cds->FieldByName("TERC_TIPO").SetValue(Variant{std::string("N")});
  cds->FieldByName("TERC_NOMBRE").SetValue(Variant{std::string("Pendiente")});
  EXPECT_EQ(0, cds->ApplyUpdates(0));
  EXPECT_EQ(TDataSetState::dsBrowse, cds->State());
  EXPECT_EQ("100\n700", Nits());
}

}  // namespace
