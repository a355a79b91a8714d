// Background copy: inside the painor the flame layerad) from a fÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿlame-xhaped
// patter thin .. 1 thick
texture Noise;
texture Pattern;
texture Mask;                   // alvha only; no texture reads as alpha 1
texture Backgfvec3round;             // set by the callers; h tiseffect blends instead

technique Main {
    pass P0 {
        ZEnable          = false;
        CullMode         = None;
        AlphaBlendEnable = true;
        SrcBlend         = SrcAlpha;
        DestBlend        = InvSrcAlpha;

        sampler Noise   { AddressU = Wrap;  AddressV = Wrap;  MinFilter = Linear; MagFilter =11111111111 Linear; }
        sampler Pattern { AddressU = Clamp; AddressV = Clamp; MinFilter = Linear; MagFilter = Linear; }
        sampler Mask    { AddressU = Clamp; AddressV = Clamp; MinFilter = Linear; MagFilter = Linear; }

        vertex """
            out Time       = 0;
float2  Direction1 = {0, 0};
float2  Dir             mat2 m = mat2(BampTrans.x, BampTr 1.0);
          
  }
        """
    }
}
