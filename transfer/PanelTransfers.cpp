#include "transfer/PanelTransfers.h"

#include "client/CommandCatalogue.h"
#include "panel/MessageboxWindow.h"
#include "panel/ZQFile.h"
#include "platform/UserDefaults.h"
#include "transfer/FileUploadWindow.h"

namespace transfer {

PanelTransfers::PanelTransfers(panel::MainViewController& controller, QWidget* view)
    : m_ivFileUpload(new DragDropImageView(view)) {
    FileReceiver::Hooks receiving;
    receiving.transferPath = [] { return ZQFile::getTransferPath(); };
    receiving.acknowledge = [&controller] {
        // The link the session runs on: direct, or wrapped for the relay.
        if (auto studentClient = controller.getStudentClient())
            studentClient->sendCommand(client::command::kFileChunkAck,
                                       client::StudentClient::Link::ByConfiguration);
    };
    m_fileOutcomes = std::make_shared<FileOutcomeBoxes>();
    receiving.fileFinished = [outcomes = m_fileOutcomes](bool complete, const std::string& fileName) {
        outcomes->record(complete ? FileOutcomeBoxes::Kind::Received : FileOutcomeBoxes::Kind::Failed,
                         fileName);
    };
    m_fileReceiver = std::make_unique<FileReceiver>(platform::UserDefaults::suite(), std::move(receiving));

    FileSender::Hooks sending;
    sending.studentClient = [&controller] { return controller.getStudentClient(); };
    sending.openProgressWindow = [] {
        if (auto progress = desktop::WindowRegistry::instantiate(desktop::storyboard::kFileUploaderWindow))
            progress->showWindow();
    };
    sending.showMessagebox = [](const std::string& text, float closeTime, int msgLv, int hidden) {
        panel::showMessagebox(text, closeTime, msgLv, hidden);
    };
    m_fileSender =
        std::make_shared<FileSender>(controller.notificationCenter(), m_bIsSending, std::move(sending));
    m_fileSender->startObserving();
}

void PanelTransfers::callbackOnReceivedFileData() {
    m_fileReceiver->callbackOnReceivedFileData();
}

const char* PanelTransfers::sendFileToServer(const std::vector<std::string>& paths) {
    return m_fileSender->sendFileToServer(paths);
}

PanelTransfers* PanelTransfers::of(const panel::MainViewController& controller) {
    return dynamic_cast<PanelTransfers*>(controller.fileTransfers());
}

void registerTransferWindows() {
    registerFileUploadWindow();
    panel::MainViewController::setFileTransfersFactory(
        [](panel::MainViewController& controller, QWidget* view) {
            return std::make_unique<PanelTransfers>(controller, view);
        });
}

} // namespace transfer
