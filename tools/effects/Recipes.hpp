#pragma once
// One recipe per effect: it fills a stereo take of the effect's exact length at
// the effect's rate (mono effects are the average of the two sides).
#include <string>

#include "tools/effects/Dsp.hpp"

namespace effects {

struct Take {
    double rate;
    Signal left, right;
    double seconds() const { return static_cast<double>(left.size()) / rate; }
    void add(const Signal& s, double at, double gain, double pan = 0) {
        mixInto(left, right, s, rate, at, gain, pan);
    }
    // Adds s with the small reverb's tail; `room` about 1 (a room) to 3 (a hall).
    void addWithRoom(const Signal& s, double at, double gain, double pan, double room, double wet);
};

using Recipe = void (*)(Take& take, Random& random);

// Voices: people and animals.
void roosterCrow(Take&, Random&);
void contemptJeer(Take&, Random&);
void whipAndGroans(Take&, Random&);
void burp(Take&, Random&);
void snore(Take&, Random&);
void fightScene(Take&, Random&);
void sneeze(Take&, Random&);
void fart(Take&, Random&);
void dogBark(Take&, Random&);
void ghostMale(Take&, Random&);
void ghostFemale(Take&, Random&);
void yawn(Take&, Random&);
void cheeringApplause(Take&, Random&);
void manCoughing(Take&, Random&);
void scream(Take&, Random&);
void snickering(Take&, Random&);
void womanMoaning(Take&, Random&);
void kissQuick(Take&, Random&);
void kissFemale(Take&, Random&);
void crowdLaughter(Take&, Random&);
void crowFlyingOver(Take&, Random&);
void evilLaugh(Take&, Random&);
void babyLaughter(Take&, Random&);
void heartyLaugh(Take&, Random&);

// Noises: hands, weapons, weather, machines.
void intenseApplause(Take&, Random&);
void lightApplause(Take&, Random&);
void swordDrawn(Take&, Random&);
void gunCocked(Take&, Random&);
void machineGun(Take&, Random&);
void rifleShot(Take&, Random&);
void pistolShots(Take&, Random&);
void swordFight(Take&, Random&);
void glassSmash(Take&, Random&);
void helicopter(Take&, Random&);
void thunder(Take&, Random&);

// Tones: signals, instruments, music and speech.
void messageBlip(Take&, Random&);
void promptChime(Take&, Random&);
void djScratch(Take&, Random&);
void busyTone(Take&, Random&);
void lightOnSting(Take&, Random&);
void drums(Take&, Random&);
void hotlineSpeech(Take&, Random&);
void ambulance(Take&, Random&);
void gong(Take&, Random&);
void bell(Take&, Random&);
void heartbeat(Take&, Random&);
void newsOpening(Take&, Random&);
void countingInEnglish(Take&, Random&);
void beDecentSpeech(Take&, Random&);
void airRaidSiren(Take&, Random&);

// Speech from espeak-ng at `rate`, as fast as needed to fit in `maxSeconds`.
Signal speak(const std::string& text, const char* voiceName, int pitch, double rate,
             double maxSeconds);

}  // namespace effects
