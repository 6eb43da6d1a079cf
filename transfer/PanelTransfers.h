// The main panel's file transfer: the drop target in the panel's view, the receiver of the
// teacher's pieces with the boxes that tell of received and failed files, and the sender of the
// file dropped on the panel with its progress window. Made by the factory registerTransferWindows()
// gives the main view controller, which owns it; main thread, except the receiving, which runs on
// the client's receive thread.
#pragma once

#include "panel/FileTransfers.h"
#include "panel/MainViewController.h"
#include "transfer/DragDropImageView.h"
#include "transfer/FileOutcomeBoxes.h"
#include "transfer/FileReceiver.h"
#include "transfer/FileSender.h"

#include <atomic>
#include <memory>

namespace transfer {

class PanelTransfers final : public panel::FileTransfers {
public:
    // view is the panel's view, the drop target's Qt parent.
    PanelTransfers(panel::MainViewController& controller, QWidget* view);

    QWidget* dropView() const override { return m_ivFileUpload; }
    bool isDragging() const override { return m_ivFileUpload && m_ivFileUpload->isDragging(); }
    void callbackOnReceivedFileData() override;
    const char* sendFileToServer(const std::vector<std::string>& paths) override;

    // The transfer of a panel (null when the panel has none of this kind).
    static PanelTransfers* of(const panel::MainViewController& controller);
    FileSender* fileSender() const { return m_fileSender.get(); }
    DragDropImageView* dropTarget() const { return m_ivFileUpload; }

private:
    DragDropImageView* m_ivFileUpload = nullptr;      // a Qt child of the panel's view
    std::atomic<bool> m_bIsSending{false};            // a file is being sent
    std::unique_ptr<FileReceiver> m_fileReceiver;     // receive thread
    std::shared_ptr<FileOutcomeBoxes> m_fileOutcomes; // any thread
    std::shared_ptr<FileSender> m_fileSender;         // main thread and its worker
};

// Makes the progress window known to the window registry under "fileUploaderWindow" and gives the
// main view controller its file transfer. Main thread, at start.
void registerTransferWindows();

} // namespace transfer
