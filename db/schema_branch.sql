/* Objects of a branch (point of sale) database, applied after
   schema_common.sql. */

SET SQL DIALECT 3;
SET AUTODDL ON;

/* Points movements: earned points are positive and may expire on
   MOPU_VENCE; redeemed points are negative and never expire. */
CREATE SEQUENCE SEQ_MOVIMIENTO_PUNTOS;

CREATE TABLE MOVIMIENTO_PUNTOS (
  MOPU_ID         INTEGER       NOT NULL,
  TERC_NIT        VARCHAR(20)   NOT NULL,
  MOPU_FECHA      DATE          NOT NULL,
  MOPU_PUNTOS     NUMERIC(15,2) NOT NULL,
  MOPU_VENCE      DATE,
  MOPU_DOCUMENTO  VARCHAR(20),
  CONSTRAINT PK_MOVIMIENTO_PUNTOS PRIMARY KEY (MOPU_ID)
);

CREATE INDEX IX_MOVIMIENTO_PUNTOS_CLIENTE ON MOVIMIENTO_PUNTOS (TERC_NIT, MOPU_FECHA);

SET TERM ^ ;

CREATE TRIGGER MOVIMIENTO_PUNTOS_BI FOR MOVIMIENTO_PUNTOS
ACTIVE BEFORE INSERT POSITION 0
AS
BEGIN
  IF (NEW.MOPU_ID IS NULL) THEN
    NEW.MOPU_ID = NEXT VALUE FOR SEQ_MOVIMIENTO_PUNTOS;
END^

/* Points summary of the branch at the end of FECHA, one row per customer
   with movements up to that date that are still valid on it:
   PTACUM   = sum of those movements (redemptions subtract),
   PTVENCER = part of PTACUM that expires within the 30 days after FECHA
              (expiry date from FECHA to FECHA + 30, both included). */
CREATE PROCEDURE RESUMEN_PUNTOS_TX (FECHA DATE)
RETURNS (
  CLIENTE   VARCHAR(20),
  PTACUM    NUMERIC(15,2),
  PTVENCER  NUMERIC(15,2))
AS
BEGIN
  FOR SELECT M.TERC_NIT,
             SUM(M.MOPU_PUNTOS),
             SUM(CASE WHEN M.MOPU_VENCE <= :FECHA + 30 THEN M.MOPU_PUNTOS ELSE 0 END)
        FROM MOVIMIENTO_PUNTOS M
       WHERE M.MOPU_FECHA <= :FECHA
         AND (M.MOPU_VENCE IS NULL OR M.MOPU_VENCE >= :FECHA)
       GROUP BY M.TERC_NIT
       ORDER BY M.TERC_NIT
        INTO :CLIENTE, :PTACUM, :PTVENCER
  DO
    SUSPEND;
END^

SET TERM ; ^

COMMIT;
