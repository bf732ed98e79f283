#pragma once

#include "ControlSurface.h"
#include "FrmClient.h"
#include "ReceiverLayout.h"
#include "RecordingLauncher.h"
#include "RecordingMessageBoxes.h"
#include "StaticHostResolver.h"
#include "TestProgramFolder.h"

#include <memory>

// The receiver window's handlers over its controls in their initial state,
// loaded, on a freshly staged program folder; no display involved.
struct ReceiverHarness {
    static inline const QString ProgramFile = QStringLiteral("kestrix");

    ReceiverHarness()
    {
        populate(c, receiverWindowLayout());
        form = std::make_unique<FrmClient>(c, folder.path(), ProgramFile, messages, resolver, launcher);
        form->Form_Load();
    }

    // Listens on a port the system picks and returns it; 0 on failure.
    quint16 listen()
    {
        c[u"Txt_Port"].setText(QStringLiteral("0"));
        c[u"Btn_Listen"].click();
        return form->Winsock_Receive.state() == TcpSocketControl::Listening ? quint16(form->Winsock_Receive.localPort())
                                                                           : 0;
    }

    TestProgramFolder folder;
    ControlSurface c;
    RecordingMessageBoxes messages;
    RecordingLauncher launcher;
    StaticHostResolver resolver;
    std::unique_ptr<FrmClient> form;
};
