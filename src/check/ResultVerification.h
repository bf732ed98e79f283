#pragma once

#include <QString>

// kestrix-check --verify RESULT.json --public-key KEY [--log DIR]: whether
// RESULT.json.sig is the league's Ed25519 signature over the result's exact
// bytes (KEY: the public key's base64, or a file holding it), and with a log,
// whether every record the result cites is a line of DIR's chain up to its
// log_head. 0 when all holds, 1 naming the first thing that does not (on
// out), 2 on an error (on err).
int verifyResultCommand(const QString& resultPath, const QString& publicKey, const QString& logDir, QString* out,
                        QString* err);
