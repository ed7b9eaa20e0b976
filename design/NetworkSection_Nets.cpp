// What the nets and from-to groups of a design's network ask of the network
// that made them: its pin block, its name index and its from-to classes.
#include "design/NetworkSection.h"
#include "design/SpecctraClasses2.h"
#include "rules/SpecctraNetRltd.h"

#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// TSpecctraNet

TSpecctraNet::TSpecctraNet(TSpecctraDsnNetworkDescriptor* network)
    : TSpecctraAbstractNetGroupObject(network) {
    HarrowHandle = 0;
}

TPinReferenceBlock& TSpecctraNet::PinBlock() const {
    // Nets are made only by the network, which owns their pin block.
    return static_cast<TSpecctraDsnNetworkDescriptor*>(Owner)->PinBlock;
}

void TSpecctraNet::PrefetchNetSlot() const {
    // On a large design the network's name index is far bigger than the
    // cache: its slot for this net loads while the pins are read, before the
    // network takes the net.
    if (Owner)
        static_cast<const TSpecctraDsnNetworkDescriptor*>(Owner)->Nets.Prefetch(NameID);
}

// ---------------------------------------------------------------------------
// TSpecctraFromToSuperClass

bool TSpecctraFromToSuperClass::ExportToPCB() {
    auto* file = dynamic_cast<TSpecctraFile*>(Root());
    auto* network = file ? dynamic_cast<TSpecctraDsnNetworkDescriptor*>(file->Network()) : nullptr;
    if (!network) {
        ReportError("Invalid network reference in from-to super class:" + NameID);
        return true;
    }
    std::vector<std::string> members;
    for (const std::string& groupName : FromToClassList) {
        const TSpecctraFromToClass* group = network->GetState_GroupByName(groupName);
        if (!group) {
            ReportWarning("Invalid from-to class reference <" + groupName +
                          "> in from-to supper class <" + NameID + ">");
            continue;
        }
        for (std::string& key : group->MemberKeys())
            members.push_back(std::move(key));
    }
    ExportClassToPCB(eClassMemberKind_FromTo, members);
    return true;
}
