// The words a user reads for why a file stayed.
#include "core/Removal.h"

#include "core/Platform.h"

namespace twinspotter {

std::string keepReasonText(KeepReason reason, int error)
{
    const std::string cause = error != 0 ? ": " + errorText(error) : std::string();
    switch (reason) {
    case KeepReason::None:
        return {};
    case KeepReason::PartnerGone:
        return "its partner is gone, so it may be the last copy";
    case KeepReason::PartnerChanged:
        return "its partner is no longer the file the search found";
    case KeepReason::PartnerUnreachable:
        return "its partner cannot be checked" + cause;
    case KeepReason::PartnerIsSameFile:
        return "its partner is the same file";
    case KeepReason::PartnerMaybeSameFile:
        return "it may be the same file as its partner, seen through another mount";
    case KeepReason::FileChanged:
        return "it is no longer the file the search found";
    case KeepReason::LocationReplaced:
        return "its location is no longer the folder the search looked at";
    case KeepReason::LinkOnPath:
        return "a folder on its path has been replaced by a symbolic link";
    case KeepReason::Unreachable:
        return "it cannot be reached" + cause;
    case KeepReason::DeleteFailed:
        return "it cannot be deleted" + cause;
    case KeepReason::TargetTaken:
        return "a file of that name is already in the safety directory";
    case KeepReason::SafetyPathBlocked:
        return "a link or a file is in the way in the safety directory";
    case KeepReason::MoveFailed:
        return "it cannot be moved into the safety directory" + cause;
    case KeepReason::CopyFailed:
        return "it cannot be copied into the safety directory" + cause;
    case KeepReason::SourceNotRemoved:
        return "it was copied into the safety directory but cannot be removed here, so the copy was taken back" + cause;
    case KeepReason::AlreadyGone:
        return "it is no longer there";
    case KeepReason::NoTrash:
        return "its file system has no Trash it can be moved to" + cause;
    case KeepReason::TrashFailed:
        return "it cannot be moved to the Trash" + cause;
    case KeepReason::DistinctnessUnproven:
        return "it cannot be proven to be another file than its partner" + cause;
    case KeepReason::LeftUnderHeldName:
        return "it was set aside in its folder under a name beginning with \".twinspotter-held-\" and cannot get its "
               "name back" +
               cause;
    case KeepReason::NoSafeMove:
        return "its file system cannot move a file without the risk of replacing another";
    case KeepReason::SafetyHoldsLocation:
        return "the safety directory contains its location, so it would be moved onto itself";
    }
    return {};
}

std::optional<RemovalResult> unreachedFolderResult(ReachFailure failure, bool partnerFolder, int error)
{
    switch (failure) {
    case ReachFailure::None:
        return std::nullopt;
    case ReachFailure::Missing:
        // The copy's own folder gone is the copy gone; the partner's gone may leave the copy the last one.
        return partnerFolder ? RemovalResult::kept(KeepReason::PartnerGone) : RemovalResult::gone();
    case ReachFailure::Link:
        return RemovalResult::kept(partnerFolder ? KeepReason::PartnerChanged : KeepReason::LinkOnPath);
    case ReachFailure::LocationReplaced:
        return RemovalResult::kept(partnerFolder ? KeepReason::PartnerChanged : KeepReason::LocationReplaced);
    case ReachFailure::Error:
        return RemovalResult::kept(partnerFolder ? KeepReason::PartnerUnreachable : KeepReason::Unreachable, error);
    }
    return std::nullopt;
}

} // namespace twinspotter
