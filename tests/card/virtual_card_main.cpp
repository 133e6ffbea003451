// quillon_virtual_card COMMAND [ARG...]: puts the virtual card (PIN 12345678) into the first
// virtual reader, runs COMMAND while it is there, then removes it. For trying the card
// commands by hand: `quillon_virtual_card bash` gives a shell with a card in the reader.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "support/virtual_card.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: quillon_virtual_card COMMAND [ARG...]\n");
        return 2;
    }
    quillon::test::VirtualCard card;
    if (!card.Insert() || !quillon::test::WaitForCard(true)) {
        std::fprintf(stderr, "quillon_virtual_card: no pcscd with the virtual reader (see tests/card/with_pcscd.sh)\n");
        return 1;
    }
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[1], argv + 1);
        std::perror(argv[1]);
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) < 0) return 1;
    card.Remove();
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
