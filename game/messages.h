// Every line the night prints. Each message is declared with its length;
// a text of any other length does not compile.
#pragma once

#include "textfile/counted_string.h"

namespace varnock::messages {

template <std::size_t N>
using Message = CountedText<N>;

inline constexpr Message<42> W1{"hey pilot, welcome to the Thessara Varnock"};
inline constexpr Message<19> W2{"what can I get you?"};
inline constexpr Message<30> D1{"1: Vesh-Kol' Drop down mixture"};
inline constexpr Message<7> D2{"2: Beer"};
inline constexpr Message<8> D3{"3: Vodka"};
inline constexpr Message<29> D4{"4: some prissy fruit beverage"};
inline constexpr Message<18> D5{"5: rubbing alcohol"};
inline constexpr Message<15> D6{"6: Irish Whisky"};
inline constexpr Message<51> R1{"you gulp one down. It tastes funny, kinda... ethnic"};
inline constexpr Message<56> R2a{"It must be from the planet Americ, because it's in a can"};
inline constexpr Message<35> R2b{"and it tastes like distilled water!"};
inline constexpr Message<23> R3{"this is a bit stronger!"};
inline constexpr Message<56> R4{"the bartender looks at you. The whole wing looks at you."};
inline constexpr Message<34> R4a{"finally the WC talks to you aside:"};
inline constexpr Message<61> R4b{"\"Look, I know you're new around here, but we drink seriously."};
inline constexpr Message<26> R4c{"Now order something else.\""};
inline constexpr Message<68> R4x{"I don't think you are gonna fit in here son. Go back to the Korvanis"};
inline constexpr Message<25> R5a{"you immediately pass out."};
inline constexpr Message<56> R5b{"The officers hold a short ceremony, and resume drinking."};
inline constexpr Message<20> R6{"Hmmm.. This is good!"};
inline constexpr Message<19> RX{"we don't have that!"};
inline constexpr Message<58> E13{"Congrats, you made a night without doing something stupid!"};
inline constexpr Message<61> E14{"You get in a brawl with Obi-Wan Kenobi, he cuts off your arm."};
inline constexpr Message<46> E15{"you get carded, and you forgot your ID, sorry."};
inline constexpr Message<23> E16{"you streak Yux's office"};
inline constexpr Message<45> E17a{"you wake up next to CPT Vintershade's fiance!"};
inline constexpr Message<22> E17b{"There goes your carrer"};
inline constexpr Message<64> E18{"You consumed so much alcohol in one night that you are a legend!"};
inline constexpr Message<13> G1{"-=GAME OVER=-"};
inline constexpr Message<55> G2{"thank you for playing Varnock choose your own adventure"};
inline constexpr Message<51> G3{"send me money if you want, but I don't really care."};

}  // namespace varnock::messages
