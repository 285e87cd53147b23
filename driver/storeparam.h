#pragma once

// State and progress of the stored-data transfer.
class StoreParam
{
public:
    enum TransferState { StoreIdle = 0, StoreCounting = 2, StoreUploading = 5, StoreDone = 11 };

    int transferState = StoreIdle;
    int total = 0;
    int num = 0;
};
